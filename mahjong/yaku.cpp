#include "mahjong/yaku.h"

#include <cstring>

#include "res/mahjong.h"

namespace mj {

namespace {

constexpr const char* kNames[] = {
    msg::kYakuOther, msg::kYakuTenho, msg::kYakuChiho, msg::kYakuRenho, msg::kYakuChuren,
    msg::kYakuRyuiso, msg::kYakuDaisharin, msg::kYakuTsuiso, msg::kYakuDaisangen, msg::kYakuHyakumangoku,
    msg::kYakuSukantsu, msg::kYakuSurenko, msg::kYakuChinroto, msg::kYakuDaisushi, msg::kYakuShosushi,
    msg::kYakuSuankoTanki, msg::kYakuSuanko, msg::kYakuKokushi, msg::kYakuChinitsu, msg::kYakuHonitsu,
    msg::kYakuHonroto, msg::kYakuRyanpeiko, msg::kYakuJunchan, msg::kYakuSankantsu, msg::kYakuShosangen,
    msg::kYakuSananko, msg::kYakuSanrenko, msg::kYakuToitoi, msg::kYakuChiitoitsu, msg::kYakuIttsu,
    msg::kYakuSanshokuDoko, msg::kYakuSanshoku, msg::kYakuChanta, msg::kYakuDoubleReach, msg::kYakuHaitei,
    msg::kYakuRinshan, msg::kYakuTanyao, msg::kYakuPinfu, msg::kYakuIipeiko, msg::kYakuReach,
    msg::kYakuIppatsu, msg::kYakuTsumo, msg::kYakuDoubleEast, msg::kYakuDoubleSouth, msg::kYakuDoubleWest,
    msg::kYakuDoubleNorth, msg::kYakuEast, msg::kYakuSouth, msg::kYakuWest, msg::kYakuNorth,
    msg::kYakuWhite, msg::kYakuGreen, msg::kYakuRed, msg::kYakuDora2, msg::kYakuDora3,
    msg::kYakuDora4, msg::kYakuDora5, msg::kYakuDora6, msg::kYakuDora7, msg::kYakuDora8,
    msg::kYakuDoraMany, msg::kYakuDora1,
};
static_assert(sizeof kNames / sizeof kNames[0] == kYakuCount);

}  // namespace

const char* yaku_name(int yaku) { return yaku >= 0 && yaku < kYakuCount ? kNames[yaku] : ""; }

int yaku_index_of(const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < kYakuCount; ++i)
    if (std::strncmp(name, kNames[i], std::strlen(kNames[i])) == 0) return i;
  return -1;
}

}  // namespace mj
