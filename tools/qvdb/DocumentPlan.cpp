#include "DocumentPlan.h"

#include <algorithm>
#include <numeric>

namespace qvdb::sample {

namespace {

struct Slot {
  int32_t form, period;
};

// The slots of a filer, latest period first.
std::vector<Slot> SlotsOf(Filer filer, std::span<const PlanPeriod> periods) {
  std::vector<Slot> slots;
  const auto forms = Forms();
  for (int32_t p = static_cast<int32_t>(periods.size()) - 1; p >= 0; --p) {
    const bool yearly = periods[p].reportId == 17;
    for (int32_t f = 0; f < static_cast<int32_t>(forms.size()); ++f)
      if ((forms[f].filers & static_cast<uint8_t>(filer)) && forms[f].quarterly != yearly)
        slots.push_back({f, p});
  }
  return slots;
}

}  // namespace

std::vector<PlannedDoc> PlanDocuments(Random& r, std::span<const Filer> filers,
                                      std::span<const PlanPeriod> periods, int64_t documents) {
  std::vector<PlannedDoc> docs;
  docs.reserve(documents);
  const int64_t streams = static_cast<int64_t>(filers.size());
  // Recent periods are still in work: the last two quarters of the range.
  const double recent = periods.back().end - 183;
  for (int64_t s = 0; s < streams; ++s) {
    int64_t quota = documents / streams + (s < documents % streams ? 1 : 0);
    const std::vector<Slot> slots = SlotsOf(filers[s], periods);
    if (slots.empty()) continue;
    for (size_t k = 0; quota > 0; ++k) {
      const Slot& slot = slots[k % slots.size()];
      const auto instance = static_cast<int32_t>(k / slots.size());
      const PlanPeriod& period = periods[slot.period];
      int32_t versions = 1;
      if (r.Chance(0.12)) versions = r.Chance(0.25) ? 3 : 2;
      versions = static_cast<int32_t>(std::min<int64_t>(versions, quota));
      quota -= versions;
      double date = period.end + 1 + r.Below(Forms()[slot.form].deadlineDays);
      for (int32_t v = 0; v < versions; ++v) {
        PlannedDoc d{static_cast<int32_t>(s), slot.form, slot.period, instance, v, date};
        d.delivered = v + 1 < versions || period.end < recent;
        if (v > 0) d.older = static_cast<int32_t>(docs.size()) - 1;
        docs.push_back(d);
        date += 15 + r.Below(166);
      }
    }
  }
  // Link the chains while positions are those of the making order, then
  // reorder by registration date and translate the links.
  for (size_t i = 0; i < docs.size(); ++i)
    if (docs[i].older >= 0) docs[docs[i].older].newer = static_cast<int32_t>(i);
  std::vector<int32_t> order(docs.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return docs[a].registryDate < docs[b].registryDate;
  });
  std::vector<int32_t> rank(docs.size());
  for (size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<int32_t>(i);
  std::vector<PlannedDoc> sorted;
  sorted.reserve(docs.size());
  for (int32_t i : order) {
    PlannedDoc d = docs[i];
    if (d.older >= 0) d.older = rank[d.older];
    if (d.newer >= 0) d.newer = rank[d.newer];
    sorted.push_back(d);
  }
  return sorted;
}

}  // namespace qvdb::sample
