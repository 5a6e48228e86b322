// The yaku name table. Scripts receive yaku as indices into it, so the
// order is fixed; the evaluation records awards by the same index.
#pragma once

#include <array>

namespace mj {

enum Yaku : int {
  kOther, kTenho, kChiho, kRenho, kChuren, kRyuiso, kDaisharin, kTsuiso, kDaisangen, kHyakumangoku,
  kSukantsu, kSurenko, kChinroto, kDaisushi, kShosushi, kSuankoTanki, kSuanko, kKokushi, kChinitsu,
  kHonitsu, kHonroto, kRyanpeiko, kJunchan, kSankantsu, kShosangen, kSananko, kSanrenko, kToitoi,
  kChiitoitsu, kIttsu, kSanshokuDoko, kSanshoku, kChanta, kDoubleReach, kHaitei, kRinshan, kTanyao,
  kPinfu, kIipeiko, kReach, kIppatsu, kTsumo,
  kDoubleEast, kDoubleSouth, kDoubleWest, kDoubleNorth,   // seat and round wind, in wind order
  kEastWind, kSouthWind, kWestWind, kNorthWind,
  kWhiteDragon, kGreenDragon, kRedDragon,
  kDora2, kDora3, kDora4, kDora5, kDora6, kDora7, kDora8, kDoraMany, kDora1,
  kYakuCount
};
static_assert(kYakuCount == 62);

// Shift-JIS name of a yaku; "" for an index outside the table.
const char* yaku_name(int yaku);

// Index of the first table name that `name` begins with, or -1.
int yaku_index_of(const char* name);

}  // namespace mj
