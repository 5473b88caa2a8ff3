#include "diag/collector.h"

#include <algorithm>

namespace qvek::diag {

Diagnostic& Collector::open(uint64_t order, Diagnostic&& d) {
    groups_.push_back({order, static_cast<uint32_t>(items_.size()), 0});
    return add(std::move(d));
}

Diagnostic& Collector::add(Diagnostic&& d) {
    items_.push_back(std::move(d));
    if (!groups_.empty()) groups_.back().count++;
    return items_.back();
}

void Collector::moveInto(std::vector<Diagnostic>& out) {
    const auto before = [](const Group& a, const Group& b) { return a.order < b.order; };
    // Groups made in reading order already, as a clean source's warnings are, move over whole.
    if (out.empty() && std::is_sorted(groups_.begin(), groups_.end(), before)) {
        out = std::move(items_);
        items_.clear();
        groups_.clear();
        return;
    }
    std::stable_sort(groups_.begin(), groups_.end(), before);
    out.reserve(out.size() + items_.size());
    for (const Group& group : groups_)
        for (uint32_t i = group.first; i < group.first + group.count; i++) out.push_back(std::move(items_[i]));
    items_.clear();
    groups_.clear();
}

}  // namespace qvek::diag
