#include "histogram_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zor::test::suite {
namespace {

constexpr int kBins = 24;
constexpr double kLeft = 10, kWidth = 300, kTop = 8, kHeight = 60;  // the plot's area in SVG units

// Half the span of the common scale, in degrees.
double Span(const Overview& overview)
{
    double span = 0.0;
    for (const AngleOverview& angle : overview.angles) {
        span = std::max(span, static_cast<double>(angle.most_allowed));
        for (const float change : angle.changes) {
            span = std::max(span, static_cast<double>(std::fabs(change)));
        }
    }
    return span > 0.0 && std::isfinite(span) ? span * 1.05 : 1.0;
}

std::vector<size_t> Counts(const AngleOverview& angle, double span)
{
    std::vector<size_t> counts(kBins, 0);
    for (const float change : angle.changes) {
        const double place = (change + span) / (2.0 * span) * kBins;
        const int bin = std::isfinite(place) ? static_cast<int>(std::floor(place)) : 0;
        ++counts[std::clamp(bin, 0, kBins - 1)];
    }
    return counts;
}

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0)
{
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

// The band from -allowed to +allowed around the middle of the plot.
std::string Band(double allowed, double span, const char* css_class)
{
    const double half = std::min(allowed, span) / (2.0 * span) * kWidth;
    char text[256];
    std::snprintf(text, sizeof text, "<rect class=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>\n",
                  css_class, kLeft + kWidth / 2 - half, kTop, 2 * half, kHeight);
    return text;
}

}  // namespace

std::vector<std::string> HistogramSvgs(const Overview& overview)
{
    const double span = Span(overview);
    std::vector<std::vector<size_t>> counts;
    size_t tallest = 1;
    for (const AngleOverview& angle : overview.angles) {
        counts.push_back(Counts(angle, span));
        tallest = std::max(tallest, *std::max_element(counts.back().begin(), counts.back().end()));
    }
    std::vector<std::string> svgs;
    for (size_t a = 0; a < 3; ++a) {
        const AngleOverview& angle = overview.angles[a];
        std::string svg = "<svg class=\"histogram\" xmlns=\"http://www.w3.org/2000/svg\" width=\"320\" height=\"88\" "
                          "viewBox=\"0 0 320 88\" role=\"img\">\n";
        if (!angle.changes.empty()) {
            svg += Band(angle.most_allowed, span, "allowance-wide") + Band(angle.least_allowed, span, "allowance");
        }
        const double bar = kWidth / kBins;
        for (int bin = 0; bin < kBins; ++bin) {
            const size_t count = counts[a][bin];
            const double height = kHeight * static_cast<double>(count) / static_cast<double>(tallest);
            svg += "<rect class=\"bar\" data-count=\"" + std::to_string(count) + "\"" +
                   Format(" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"/>\n", kLeft + bin * bar + 0.5,
                          kTop + kHeight - height, bar - 1.0, height);
        }
        svg += Format("<line class=\"axis\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>\n", kLeft,
                      kTop + kHeight, kLeft + kWidth, kTop + kHeight);
        svg += Format("<text x=\"%.1f\" y=\"84\">%+.2f°</text>", kLeft, -span) +
               Format("<text x=\"%.1f\" y=\"84\" text-anchor=\"middle\">0</text>", kLeft + kWidth / 2) +
               Format("<text x=\"%.1f\" y=\"84\" text-anchor=\"end\">%+.2f°</text>\n", kLeft + kWidth, span);
        svgs.push_back(svg + "</svg>");
    }
    return svgs;
}

}  // namespace zor::test::suite
