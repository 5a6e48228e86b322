// FFmpeg, loaded when the first movie opens rather than linked: its
// libraries and theirs (well over a hundred) would otherwise be mapped and
// relocated before the window shows, in every game, for movies that most
// scenes never play. Only the movie player uses it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>

namespace plat {

// Every FFmpeg function the player calls, with the library it lives in.
#define QUOREL_FFMPEG_FUNCTIONS(X)                                                                  \
  X(avutil, av_channel_layout_compare) X(avutil, av_channel_layout_copy)                             \
  X(avutil, av_channel_layout_uninit) X(avutil, av_frame_alloc) X(avutil, av_frame_free)             \
  X(avutil, av_frame_unref) X(avutil, av_free) X(avutil, av_freep) X(avutil, av_log_set_level)       \
  X(avutil, av_malloc) X(avutil, av_max_alloc) X(avutil, av_rescale) X(avutil, av_rescale_q)         \
  X(avutil, av_strerror)                                                                             \
  X(swresample, swr_alloc_set_opts2) X(swresample, swr_convert) X(swresample, swr_free)              \
  X(swresample, swr_get_out_samples) X(swresample, swr_init)                                         \
  X(swscale, sws_freeContext) X(swscale, sws_getCachedContext) X(swscale, sws_scale)                 \
  X(avcodec, av_packet_alloc) X(avcodec, av_packet_free) X(avcodec, av_packet_unref)                 \
  X(avcodec, avcodec_alloc_context3) X(avcodec, avcodec_find_decoder) X(avcodec, avcodec_free_context) \
  X(avcodec, avcodec_get_name) X(avcodec, avcodec_open2) X(avcodec, avcodec_parameters_to_context)   \
  X(avcodec, avcodec_receive_frame) X(avcodec, avcodec_send_packet)                                  \
  X(avformat, av_find_best_stream) X(avformat, av_read_frame) X(avformat, avformat_alloc_context)    \
  X(avformat, avformat_close_input) X(avformat, avformat_find_stream_info)                           \
  X(avformat, avformat_open_input) X(avformat, avio_alloc_context) X(avformat, avio_context_free)

struct FfmpegLibrary {
#define QUOREL_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
  QUOREL_FFMPEG_FUNCTIONS(QUOREL_FFMPEG_POINTER)
#undef QUOREL_FFMPEG_POINTER
};

// Loads FFmpeg on the first call (any thread); null, with `*error` saying
// which library or function is missing, when it cannot be loaded. The
// libraries stay loaded until the process ends.
const FfmpegLibrary* ffmpeg_library(std::string* error);

}  // namespace plat
