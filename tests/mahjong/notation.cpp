#include "tests/mahjong/notation.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace mj_test {

namespace {

int suit_base(char s) {
  switch (s) {
    case 'm': return 0;
    case 'p': return 10;
    case 's': return 20;
    case 'z': return 30;
  }
  throw std::invalid_argument(std::string("bad suit letter ") + s);
}

// (code, red) pairs of a run of tiles such as "123m0p".
std::vector<std::pair<int, bool>> parse_tiles(std::string_view text) {
  std::vector<std::pair<int, bool>> out;
  std::string digits;
  for (char ch : text) {
    if (ch == ' ') continue;
    if (ch >= '0' && ch <= '9') {
      digits += ch;
      continue;
    }
    int base = suit_base(ch);
    for (char d : digits) {
      bool red = d == '0';
      out.emplace_back(base + (red ? 5 : d - '0'), red);
    }
    digits.clear();
  }
  if (!digits.empty()) throw std::invalid_argument("tiles without a suit letter");
  return out;
}

struct Copies {
  int next[mj::kCodeCount];
  int red = 0;
  Copies() {
    for (int& n : next) n = 3;
  }
  int take(int code, bool red_five) {
    if (red_five) return 150 + red++;
    return code * 10 + next[code]--;
  }
};

}  // namespace

std::vector<int> codes(std::string_view tiles) {
  std::vector<int> out;
  for (auto [code, red] : parse_tiles(tiles)) out.push_back(code);
  return out;
}

int value(std::string_view tile) {
  auto t = parse_tiles(tile);
  if (t.size() != 1) throw std::invalid_argument("one tile expected");
  return t[0].second ? 150 : t[0].first * 10 + 3;
}

mj::MjHand hand(std::string_view notation) {
  mj::MjHand h;
  h.seat_wind = 1;
  Copies copies;
  int slot = 0;
  std::vector<std::pair<int, bool>> concealed;
  size_t pos = 0;
  while (pos < notation.size()) {
    size_t end = notation.find(' ', pos);
    if (end == std::string_view::npos) end = notation.size();
    std::string_view word = notation.substr(pos, end - pos);
    pos = end + 1;
    if (word.empty()) continue;
    size_t colon = word.find(':');
    if (colon == std::string_view::npos) {
      for (auto t : parse_tiles(word)) concealed.push_back(t);
      continue;
    }
    std::string_view kind = word.substr(0, colon);
    auto tiles = parse_tiles(word.substr(colon + 1));
    bool kan = kind == "kan" || kind == "ankan";
    if (tiles.size() != (kan ? 4u : 3u)) throw std::invalid_argument("bad meld size");
    for (int k = 0; k < 3; ++k) {
      auto [code, red] = tiles[k];
      if (kan) {
        h.hand[slot] = code * 10 + k;  // a kan is stored as copies 0, 1, 2
        h.meld_flags[slot] = kind == "kan" ? mj::kFlagOpenKan : mj::kFlagConcealedKan;
      } else {
        h.hand[slot] = copies.take(code, red);
        h.meld_flags[slot] = kind == "pon" ? mj::kFlagPon : k + 1;
      }
      ++slot;
    }
    if (kan) copies.next[tiles[0].first] = -1;
  }
  for (auto [code, red] : concealed) {
    if (slot >= mj::kHandSize) throw std::invalid_argument("more than fourteen tiles");
    h.hand[slot++] = copies.take(code, red);
  }
  return h;
}

void seat_hand(mj::Table& t, int p, std::string_view notation) {
  mj::MjHand h = hand(notation);
  std::copy(h.hand.begin(), h.hand.end(), t.hand(p).begin());
  std::copy(h.meld_flags.begin(), h.meld_flags.end(), t.flags(p).begin());
  std::fill(t.marks(p).begin(), t.marks(p).end(), 0);
}

}  // namespace mj_test
