#include "pictures/quantize.h"

#include <algorithm>

namespace tk {

namespace {

struct ColourBox {
    std::array<int, 3> low, high;  // inclusive cell bounds per channel
    std::uint64_t count;
};

void median_cut(Quantized& q, const std::vector<std::uint64_t>& counts,
                const std::vector<std::array<std::uint64_t, 3>>& sums, std::size_t colours) {
    auto at = [](int r, int g, int b) { return static_cast<std::size_t>(r << 10 | g << 5 | b); };
    // Shrinks a box to the cells it populates and counts them.
    auto fit = [&](ColourBox& box) {
        std::array<int, 3> low{31, 31, 31}, high{0, 0, 0};
        box.count = 0;
        for (int r = box.low[0]; r <= box.high[0]; ++r)
            for (int g = box.low[1]; g <= box.high[1]; ++g)
                for (int b = box.low[2]; b <= box.high[2]; ++b) {
                    std::uint64_t n = counts[at(r, g, b)];
                    if (!n) continue;
                    box.count += n;
                    int c[3] = {r, g, b};
                    for (int k = 0; k < 3; ++k) {
                        low[k] = std::min(low[k], c[k]);
                        high[k] = std::max(high[k], c[k]);
                    }
                }
        if (box.count) {
            box.low = low;
            box.high = high;
        }
    };
    std::vector<ColourBox> boxes{{{0, 0, 0}, {31, 31, 31}, 0}};
    fit(boxes[0]);
    while (boxes.size() < colours) {
        // The most populous box that still spans more than one cell.
        ColourBox* widest = nullptr;
        for (auto& box : boxes) {
            bool splittable = box.low != box.high;
            if (splittable && (!widest || box.count > widest->count)) widest = &box;
        }
        if (!widest) break;
        int axis = 0;
        for (int k = 1; k < 3; ++k) {
            if (widest->high[k] - widest->low[k] > widest->high[axis] - widest->low[axis]) axis = k;
        }
        // Split at the median of the population along that axis.
        std::array<std::uint64_t, 32> slice{};
        for (int r = widest->low[0]; r <= widest->high[0]; ++r)
            for (int g = widest->low[1]; g <= widest->high[1]; ++g)
                for (int b = widest->low[2]; b <= widest->high[2]; ++b) {
                    int c[3] = {r, g, b};
                    slice[c[axis]] += counts[at(r, g, b)];
                }
        std::uint64_t half = widest->count / 2, seen = 0;
        int cut = widest->low[axis];
        for (; cut < widest->high[axis] - 1; ++cut) {
            seen += slice[cut];
            if (seen >= half) break;
        }
        ColourBox upper = *widest;
        widest->high[axis] = cut;
        upper.low[axis] = cut + 1;
        fit(*widest);
        fit(upper);
        boxes.push_back(upper);
    }
    for (const auto& box : boxes) {
        std::array<std::uint64_t, 3> total{};
        for (int r = box.low[0]; r <= box.high[0]; ++r)
            for (int g = box.low[1]; g <= box.high[1]; ++g)
                for (int b = box.low[2]; b <= box.high[2]; ++b) {
                    for (int k = 0; k < 3; ++k) total[k] += sums[at(r, g, b)][k];
                }
        std::uint64_t n = std::max<std::uint64_t>(box.count, 1);
        q.palette.push_back({static_cast<std::uint8_t>((total[0] + n / 2) / n),
                             static_cast<std::uint8_t>((total[1] + n / 2) / n),
                             static_cast<std::uint8_t>((total[2] + n / 2) / n)});
    }
    q.nearest.assign(32768, 0);
    for (std::size_t c = 0; c < counts.size(); ++c) {
        if (!counts[c]) continue;
        int centre[3] = {static_cast<int>(c >> 10 << 3 | 4), static_cast<int>((c >> 5 & 31) << 3 | 4),
                         static_cast<int>((c & 31) << 3 | 4)};
        int best = 0, best_distance = 1 << 30;
        for (std::size_t i = 0; i < q.palette.size(); ++i) {
            int distance = 0;
            for (int k = 0; k < 3; ++k) {
                int d = centre[k] - q.palette[i][k];
                distance += d * d;
            }
            if (distance < best_distance) {
                best_distance = distance;
                best = static_cast<int>(i);
            }
        }
        q.nearest[c] = static_cast<std::uint8_t>(best);
    }
}

}  // namespace

Quantized quantize(const std::uint8_t* pixels, int width, int height, std::size_t stride, int channels,
                   std::size_t colours) {
    Quantized q;
    bool fits = true;
    for_each_rgb(pixels, width, height, stride, channels, [&](int, int, const std::uint8_t* rgb) {
        if (!fits) return;
        auto key = static_cast<std::uint32_t>(rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
        if (q.exact.count(key)) return;
        if (q.exact.size() == colours) {
            fits = false;
            return;
        }
        q.exact.emplace(key, static_cast<std::uint8_t>(q.palette.size()));
        q.palette.push_back({rgb[0], rgb[1], rgb[2]});
    });
    if (fits) return q;
    q.exact.clear();
    q.palette.clear();
    std::vector<std::uint64_t> counts(32768);
    std::vector<std::array<std::uint64_t, 3>> sums(32768);
    for_each_rgb(pixels, width, height, stride, channels, [&](int, int, const std::uint8_t* rgb) {
        unsigned c = Quantized::cell(rgb);
        ++counts[c];
        for (int k = 0; k < 3; ++k) sums[c][k] += rgb[k];
    });
    median_cut(q, counts, sums, colours);
    return q;
}

}  // namespace tk
