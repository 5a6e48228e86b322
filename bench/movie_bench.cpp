// Playing a movie's pictures: decoded on the worker and converted to the
// engine's blue-green-red rows at 800 x 600, beside FFmpeg decoding the
// same pictures and converting nothing. The conversion should add little.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "bench/bench_support.h"
#include "platform/movie.h"
#include "tests/support/movie_files.h"

namespace {

constexpr int kPictures = 60;
constexpr int kFps = 30;

struct Clip {
  std::string path;
  Clip() {
    path = (std::filesystem::temp_directory_path() / ("quorel-bench-movie-" + std::to_string(::getpid()) + ".avi")).string();
    testing_support::MovieSpec spec;
    spec.width = 800;
    spec.height = 600;
    spec.fps = kFps;
    spec.textured = true;
    for (int i = 0; i < kPictures; ++i) spec.colours.push_back(0x204060u + static_cast<uint32_t>(i) * 0x030201u);
    if (!testing_support::write_movie(path, spec)) std::fprintf(stderr, "cannot make %s\n", path.c_str());
  }
  ~Clip() { std::filesystem::remove(path); }
};

Clip& clip() {
  static Clip c;
  return c;
}

void BM_QuorelDecodeAndConvert(benchmark::State& state) {
  for (auto _ : state) {
    auto movie = plat::Movie::open_file(clip().path, "bench", 800, 600);
    movie->wait_opened();
    plat::MoviePicture picture;
    int shown = 0;
    for (int64_t ms = 0; !movie->finished_at(ms, true); ms += 1000 / kFps)
      if (movie->picture_at(ms, true, picture)) ++shown;
    benchmark::DoNotOptimize(shown);
    if (shown != kPictures) state.SkipWithError("pictures lost");
  }
}
BENCHMARK(BM_QuorelDecodeAndConvert)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_FfmpegDecodeOnly(benchmark::State& state) {
  for (auto _ : state) {
    AVFormatContext* format = nullptr;
    avformat_open_input(&format, clip().path.c_str(), nullptr, nullptr);
    avformat_find_stream_info(format, nullptr);
    int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, format->streams[index]->codecpar);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int decoded = 0;
    auto drain = [&] {
      while (avcodec_receive_frame(ctx, frame) == 0) {
        ++decoded;
        av_frame_unref(frame);
      }
    };
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == index && avcodec_send_packet(ctx, packet) >= 0) drain();
      av_packet_unref(packet);
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    benchmark::DoNotOptimize(decoded);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    avformat_close_input(&format);
  }
}
BENCHMARK(BM_FfmpegDecodeOnly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  return bench_support::run_and_compare(
      argc, argv, {{"movie_800x600_decode_convert_vs_decode", "BM_QuorelDecodeAndConvert/process_time", "BM_FfmpegDecodeOnly/process_time"}});
}
