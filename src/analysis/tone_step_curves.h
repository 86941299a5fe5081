// The three tone curves of the parameter-table tone step, in fixed point
// with 10000 = 1.0.
#pragma once

#include <array>
#include <cstdint>

#include "analysis/tone_decimal.h"
#include "analysis/tone_table_reader.h"
#include "context/context.h"

namespace voved {

constexpr int32_t kToneOne = 10000;

// 10000 x i^(1/100), rounded; entry 0 is 0. Integer powers of an entry ratio
// approximate fractional powers of a level.
// clang-format off
inline constexpr std::array<uint16_t, kLevels> rootTable = {
        0, 10000, 10070, 10110, 10140, 10162, 10181, 10196, 10210, 10222,
    10233, 10243, 10252, 10260, 10267, 10275, 10281, 10287, 10293, 10299,
    10304, 10309, 10314, 10319, 10323, 10327, 10331, 10335, 10339, 10342,
    10346, 10349, 10353, 10356, 10359, 10362, 10365, 10368, 10370, 10373,
    10376, 10378, 10381, 10383, 10386, 10388, 10390, 10393, 10395, 10397,
    10399, 10401, 10403, 10405, 10407, 10409, 10411, 10413, 10414, 10416,
    10418, 10420, 10421, 10423, 10425, 10426, 10428, 10429, 10431, 10433,
    10434, 10435, 10437, 10438, 10440, 10441, 10443, 10444, 10445, 10447,
    10448, 10449, 10451, 10452, 10453, 10454, 10456, 10457, 10458, 10459,
    10460, 10461, 10463, 10464, 10465, 10466, 10467, 10468, 10469, 10470,
    10471, 10472, 10473, 10474, 10475, 10476, 10477, 10478, 10479, 10480,
    10481, 10482, 10483, 10484, 10485, 10486, 10487, 10488, 10489, 10490,
    10490, 10491, 10492, 10493, 10494, 10495, 10496, 10496, 10497, 10498,
    10499, 10500, 10500, 10501, 10502, 10503, 10504, 10504, 10505, 10506,
    10507, 10507, 10508, 10509, 10510, 10510, 10511, 10512, 10512, 10513,
    10514, 10515, 10515, 10516, 10517, 10517, 10518, 10519, 10519, 10520,
    10521, 10521, 10522, 10523, 10523, 10524, 10524, 10525, 10526, 10526,
    10527, 10528, 10528, 10529, 10529, 10530, 10531, 10531, 10532, 10532,
    10533, 10534, 10534, 10535, 10535, 10536, 10536, 10537, 10538, 10538,
    10539, 10539, 10540, 10540, 10541, 10541, 10542, 10543, 10543, 10544,
    10544, 10545, 10545, 10546, 10546, 10547, 10547, 10548, 10548, 10549,
    10549, 10550, 10550, 10551, 10551, 10552, 10552, 10553, 10553, 10554,
    10554, 10555, 10555, 10556, 10556, 10557, 10557, 10557, 10558, 10558,
    10559, 10559, 10560, 10560, 10561, 10561, 10562, 10562, 10562, 10563,
    10563, 10564, 10564, 10565, 10565, 10566, 10566, 10566, 10567, 10567,
    10568, 10568, 10569, 10569, 10569, 10570,
};
// clang-format on

// 255 x (i / 255)^((p - 1) / 100) with p = 10000 / gamma (gamma x 100 as
// stored in the table). Returns 0, or kToneNoFit for a gamma of 0 or 100
// (the table is then left as it was).
int16_t GammaExponentCurve(uint16_t gamma, uint8_t* table);

// The identity up to the knee level and the gamma curve above it, with the
// joint smoothed by a quadratic from 0.8 to 1.2 x knee. Returns 0, or
// kToneNoFit for a gamma or knee of 0 (the table is then left as it was).
int16_t KneeCurve(uint16_t gamma, uint16_t knee, uint8_t* table);

// c0 + c1 i + ... + c5 i^5 in decimal arithmetic, rounded and limited to
// 0..255.
void PolynomialCurve(const QVDecimal (&coefficients)[kPolynomialTerms], uint8_t* table);

}  // namespace voved
