#include "BitTiming.h"

#include <algorithm>
#include <cstdlib>

namespace BitTiming {

namespace {

std::int64_t ClockHz(int clockMHz) {
  return std::int64_t(clockMHz) * HzPerMHz;
}

// Distance of the setting's exact sample point from the wanted one, as the
// fraction |(BS1 + 1) x 100 - S x N| / N.
struct Distance {
  std::int64_t numerator;
  std::int64_t denominator;
};

Distance SampleDistance(const Setting& s, int wantedSamplePercent) {
  const int n = QuantaPerBit(s.bs1, s.bs2);
  return {std::llabs(std::int64_t(s.bs1 + 1) * 100 - std::int64_t(wantedSamplePercent) * n), n};
}

}  // namespace

std::int64_t RoundHalfEven(std::int64_t num, std::int64_t den) {
  const std::int64_t q = num / den;
  const std::int64_t twiceRest = 2 * (num % den);
  if (twiceRest > den || (twiceRest == den && q % 2 != 0)) return q + 1;
  return q;
}

std::optional<std::int64_t> BaudRate(int clockMHz, const Setting& s) {
  if (clockMHz <= 0) return std::nullopt;
  return RoundHalfEven(ClockHz(clockMHz), std::int64_t(s.brp) * QuantaPerBit(s.bs1, s.bs2));
}

int SamplePoint(int bs1, int bs2) {
  return int(RoundHalfEven(std::int64_t(bs1 + 1) * 100, QuantaPerBit(bs1, bs2)));
}

int SamplePointTenths(int bs1, int bs2) {
  return int(RoundHalfEven(std::int64_t(bs1 + 1) * 1000, QuantaPerBit(bs1, bs2)));
}

int SliderPosition(int samplePercent, int sliderMaximum) {
  return int(RoundHalfEven(std::int64_t(samplePercent) * sliderMaximum, 100));
}

std::optional<std::int64_t> TimeQuantumNs(int clockMHz, int brp) {
  if (clockMHz <= 0) return std::nullopt;
  return std::int64_t(1000) * brp / clockMHz;
}

bool RateReachable(int clockMHz, std::int64_t rate) {
  if (clockMHz <= 0) return false;
  const std::int64_t clock = ClockHz(clockMHz);
  return rate >= clock / 800 && rate <= clock / 3;
}

std::optional<Candidate> Search(int clockMHz, std::int64_t wantedRate, int wantedSamplePercent) {
  if (!RateReachable(clockMHz, wantedRate)) return std::nullopt;
  std::optional<Candidate> best;
  std::int64_t bestRateError = 0;
  int bestSampleError = 0;
  for (int brp = 1; brp <= MaxSearchPrescaler; ++brp) {
    for (int bs1 = 1; bs1 <= MaxSegment1; ++bs1) {
      for (int bs2 = 1; bs2 <= std::min(bs1, MaxSegment2); ++bs2) {
        const Setting s{brp, bs1, bs2};
        const std::int64_t f = *BaudRate(clockMHz, s);
        const int g = SamplePoint(bs1, bs2);
        const std::int64_t rateError = std::llabs(f - wantedRate);
        const int sampleError = std::abs(g - wantedSamplePercent);
        if (best && (rateError > bestRateError || sampleError > bestSampleError + SampleTolerance)) continue;
        best = Candidate{s, f, g};
        bestRateError = rateError;
        bestSampleError = sampleError;
      }
    }
  }
  return best;
}

bool CloserSamplePoint(const ExactSetting& a, const ExactSetting& b, int wantedSamplePercent) {
  const Distance da = SampleDistance(a.setting, wantedSamplePercent);
  const Distance db = SampleDistance(b.setting, wantedSamplePercent);
  const std::int64_t left = da.numerator * db.denominator;
  const std::int64_t right = db.numerator * da.denominator;
  if (left != right) return left < right;
  if (a.setting.brp != b.setting.brp) return a.setting.brp < b.setting.brp;
  return a.setting.bs1 < b.setting.bs1;
}

std::vector<ExactSetting> ExactSettings(int clockMHz, std::int64_t wantedRate, int wantedSamplePercent) {
  std::vector<ExactSetting> found;
  if (clockMHz <= 0 || wantedRate <= 0) return found;
  const std::int64_t clock = ClockHz(clockMHz);
  if (clock % wantedRate != 0) return found;
  // clock = rate x BRP x N: only the divisors of clock / rate qualify, and
  // for each prescaler only one N.
  const std::int64_t quantaPerRate = clock / wantedRate;
  for (int brp = MinPrescaler; brp <= MaxPrescaler; ++brp) {
    if (quantaPerRate % brp != 0) continue;
    const std::int64_t n = quantaPerRate / brp;
    for (int bs1 = 1; bs1 <= MaxSegment1; ++bs1) {
      const std::int64_t bs2 = n - 1 - bs1;
      if (bs2 < 1 || bs2 > std::min(bs1, MaxSegment2)) continue;
      const Setting s{brp, bs1, int(bs2)};
      found.push_back({s, SamplePoint(s.bs1, s.bs2), SamplePointTenths(s.bs1, s.bs2), *TimeQuantumNs(clockMHz, brp)});
    }
  }
  std::sort(found.begin(), found.end(), [wantedSamplePercent](const ExactSetting& a, const ExactSetting& b) {
    return CloserSamplePoint(a, b, wantedSamplePercent);
  });
  return found;
}

std::uint8_t PackBRPR(int brp, int rjw) {
  brp = std::clamp(brp, MinPrescaler, MaxPrescaler);
  rjw = std::clamp(rjw, 1, MaxJumpWidth);
  return std::uint8_t((rjw - 1) * 64 + (brp - 1));
}

std::uint8_t PackBTR(int bs1, int bs2) {
  bs1 = std::clamp(bs1, 1, MaxSegment1);
  bs2 = std::clamp(bs2, 1, MaxSegment2);
  return std::uint8_t((bs1 - 1) + (bs2 - 1) * 16);
}

Fields Unpack(std::uint8_t brpr, std::uint8_t btr) {
  return {(brpr & 0x3F) + 1, (brpr >> 6) + 1, (btr & 0x0F) + 1, std::min((btr >> 4) + 1, MaxSegment2)};
}

}  // namespace BitTiming
