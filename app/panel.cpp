#include "app/panel.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <imgui.h>
#include <string>

#include "app/agent_details.h"
#include "app/title.h"
#include "sim/model_parameters.h"

namespace kav {

namespace {

constexpr ImU32 kPredatorLine = IM_COL32(255, 90, 70, 255);
constexpr ImU32 kPreyLine = IM_COL32(225, 225, 225, 255);
constexpr ImU32 kProbeELine = IM_COL32(255, 170, 40, 255);
constexpr ImU32 kProbeMLine = IM_COL32(110, 170, 255, 255);
constexpr int kPlotVertices = 160;

struct Line {
    const HistorySeries* series;
    ImU32 colour;
    const char* name;
};

// A value as the tooltips and the latest values write it.
std::string shortNumber(double value) {
    if (!std::isfinite(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(value) >= 1e4 ? "%.0f" : "%.4g", value);
    return text;
}

// A value on a plot's scale, in at most 7 characters: 0.0281, 1017, 12.3k, 4.5M.
std::string axisNumber(double value) {
    char text[32];
    const double size = std::fabs(value);
    if (size >= 1e6) std::snprintf(text, sizeof text, "%.3gM", value / 1e6);
    else if (size >= 1e4) std::snprintf(text, sizeof text, "%.3gk", value / 1e3);
    else if (size >= 1e3) std::snprintf(text, sizeof text, "%.0f", value);
    else std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

// The range of the lines' points that are numbers, widened when flat; false when none is.
bool commonRange(std::initializer_list<Line> lines, float& low, float& high) {
    bool any = false;
    for (const Line& line : lines) {
        float lineLow = 0;
        float lineHigh = 0;
        if (!line.series->range(lineLow, lineHigh)) continue;
        low = any ? std::min(low, lineLow) : lineLow;
        high = any ? std::max(high, lineHigh) : lineHigh;
        any = true;
    }
    if (any && high - low < 1e-6f) {
        low -= 0.5f;
        high += 0.5f;
    }
    return any;
}

// One plot of one or two series over the whole run: the title with the latest values,
// the value's scale at the left, the ticks below, and under the pointer a marker and a
// tooltip with the values there. ImGui's own plot draws one series only.
void plot(const char* title, std::initializer_list<Line> lines, float height = 46.0f) {
    ImGui::TextUnformatted(title);
    std::string latest;
    for (const Line& line : lines) {
        if (line.series->size() == 0) continue;
        latest += (latest.empty() ? "" : " / ") + shortNumber(line.series->latest());
    }
    if (!latest.empty()) {
        // Beside the title, at the right edge, or below it when both do not fit.
        const float right = ImGui::GetWindowContentRegionMax().x;
        const float width = ImGui::CalcTextSize(latest.c_str()).x;
        const float gap = ImGui::GetStyle().ItemSpacing.x;
        if (ImGui::GetItemRectMax().x - ImGui::GetWindowPos().x + gap + width <= right)
            ImGui::SameLine(right - width);
        else ImGui::SetCursorPosX(std::max(ImGui::GetCursorPosX(), right - width));
        ImGui::TextUnformatted(latest.c_str());
    }
    const ImU32 axisColour = ImGui::GetColorU32(ImGuiCol_TextDisabled);
    const float labelWidth = ImGui::CalcTextSize("-0.0000").x + 4.0f;
    const ImVec2 start = ImGui::GetCursorScreenPos();
    const float available = ImGui::GetContentRegionAvail().x;
    const float lineHeight = ImGui::GetTextLineHeight();
    ImGui::Dummy(ImVec2(available, height + lineHeight));
    const bool hovered = ImGui::IsItemHovered();
    const ImVec2 origin(start.x + labelWidth, start.y);
    const float plotWidth = std::max(available - labelWidth, 8.0f);
    const ImVec2 corner(origin.x + plotWidth, origin.y + height);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    draw->AddRectFilled(origin, corner, ImGui::GetColorU32(ImGuiCol_FrameBg));

    float low = 0;
    float high = 0;
    const HistorySeries* ticks = nullptr;  // the series whose ticks place the points
    for (const Line& line : lines)
        if (ticks == nullptr && line.series->size() > 0) ticks = line.series;
    if (ticks == nullptr || !commonRange(lines, low, high)) {
        draw->AddText(ImVec2(origin.x + 4, origin.y + 4), axisColour,
                      "no report yet (every 200th tick)");
        return;
    }
    const int n = ticks->size();
    const double firstTick = static_cast<double>(ticks->tickAt(0));
    const double tickSpan = std::max(1.0, static_cast<double>(ticks->tickAt(n - 1)) - firstTick);
    const auto xOf = [&](std::int64_t tick) {
        const float f =
            n == 1 ? 0.5f : static_cast<float>((static_cast<double>(tick) - firstTick) / tickSpan);
        return origin.x + 1.0f + f * (plotWidth - 2.0f);
    };
    const auto yOf = [&](float value) {
        return corner.y - 2.0f - (value - low) / (high - low) * (height - 4.0f);
    };

    // Thin lines of at most kPlotVertices points, without anti-aliasing: a software
    // renderer pays for every triangle, and the panel is drawn in the fast modes too.
    const ImDrawListFlags drawFlags = draw->Flags;
    draw->Flags &= ~ImDrawListFlags_AntiAliasedLines;
    for (const Line& line : lines) {
        const int count = line.series->size();
        if (count == 0) continue;
        const int vertices = std::min(count, kPlotVertices);
        ImVec2 path[kPlotVertices];
        int pathLength = 0;
        // A stretch of points that are not numbers breaks the line.
        const auto flush = [&] {
            if (pathLength == 1) draw->AddCircleFilled(path[0], 2.0f, line.colour, 6);
            if (pathLength > 1) draw->AddPolyline(path, pathLength, line.colour, 0, 1.0f);
            pathLength = 0;
        };
        for (int k = 0; k < vertices; ++k) {
            // The mean of the points that fall to this vertex, at the tick of the last.
            const int first = static_cast<int>(static_cast<long long>(k) * count / vertices);
            const int last = std::max(
                first + 1, static_cast<int>(static_cast<long long>(k + 1) * count / vertices));
            float sum = 0;
            for (int i = first; i < last; ++i) sum += line.series->data()[i];
            const float value = sum / static_cast<float>(last - first);
            if (!std::isfinite(value)) {
                flush();
                continue;
            }
            path[pathLength++] = ImVec2(xOf(line.series->tickAt(last - 1)), yOf(value));
        }
        flush();
    }
    draw->Flags = drawFlags;

    // The scale: the highest and lowest value at the left, the first and last tick below.
    const std::string top = axisNumber(high);
    const std::string bottom = axisNumber(low);
    draw->AddText(ImVec2(origin.x - 3.0f - ImGui::CalcTextSize(top.c_str()).x, origin.y),
                  axisColour, top.c_str());
    draw->AddText(
        ImVec2(origin.x - 3.0f - ImGui::CalcTextSize(bottom.c_str()).x, corner.y - lineHeight),
        axisColour, bottom.c_str());
    const std::string from = "tick " + groupedCount(ticks->tickAt(0));
    const std::string to = groupedCount(ticks->tickAt(n - 1));
    draw->AddText(ImVec2(origin.x, corner.y), axisColour, from.c_str());
    draw->AddText(ImVec2(corner.x - ImGui::CalcTextSize(to.c_str()).x, corner.y), axisColour,
                  to.c_str());

    if (!hovered) return;
    // The point nearest the pointer, by its tick.
    const float mouseX = ImGui::GetIO().MousePos.x;
    int nearest = 0;
    for (int i = 1; i < n; ++i)
        if (std::fabs(xOf(ticks->tickAt(i)) - mouseX) <
            std::fabs(xOf(ticks->tickAt(nearest)) - mouseX))
            nearest = i;
    const float x = xOf(ticks->tickAt(nearest));
    draw->AddLine(ImVec2(x, origin.y), ImVec2(x, corner.y), axisColour);
    std::string tip = "tick " + groupedCount(ticks->tickAt(nearest));
    if (ticks->reportsPerPoint() > 1)
        tip += " (mean of " + std::to_string(ticks->reportsPerPoint()) + " reports)";
    for (const Line& line : lines) {
        if (nearest >= line.series->size()) continue;
        tip += std::string("\n") + line.name + ": " + shortNumber(line.series->data()[nearest]);
    }
    ImGui::SetTooltip("%s", tip.c_str());
}

void swatch(ImU32 colour, const char* label) {
    const ImVec2 at = ImGui::GetCursorScreenPos();
    const float size = ImGui::GetTextLineHeight() * 0.7f;
    ImGui::GetWindowDrawList()->AddRectFilled(ImVec2(at.x, at.y + size * 0.25f),
                                              ImVec2(at.x + size, at.y + size * 1.25f), colour);
    ImGui::Dummy(ImVec2(size, size));
    ImGui::SameLine();
    ImGui::TextUnformatted(label);
}

void runSection(const PanelInputs& in) {
    const Population& world = *in.world;
    ImGui::Text("Tick %s   %s ticks/s", groupedCount(world.world.tick).c_str(),
                groupedCount(static_cast<std::int64_t>(in.ticksPerSecond + 0.5)).c_str());
    const std::string mode = modeName(in.flags);
    ImGui::Text("Mode: %s", mode.empty() ? "normal (5 ticks/s)" : mode.c_str());
    const auto pending = [](std::int32_t request) {
        return request > 0   ? "  (+1 at the next tick)"
               : request < 0 ? "  (-1 at the next tick)"
                             : "";
    };
    ImGui::Text("Predators %d%s", world.world.predatorCount,
                pending(world.world.predatorSizeRequest));
    ImGui::Text("Prey %d%s", world.world.preyCount, pending(world.world.preySizeRequest));
}

void eventSection(const PanelInputs& in) {
    const EventRates rates = in.history->rates(in.world->world.tick, in.totals);
    ImGui::Text("Per 1,000 ticks: %.1f captures,", rates.captures);
    ImGui::Text("  %.1f births, %.1f starvations", rates.births, rates.starvations);
    ImGui::Text("Since start: %s captures", groupedCount(in.totals.captures).c_str());
}

void generationSection(const PanelInputs& in) {
    const GenerationSummary predators = summarizeGenerations(*in.world, true);
    const GenerationSummary prey = summarizeGenerations(*in.world, false);
    // Columns at fixed places, so that a number too long for its place shows as such.
    const float meanAt = ImGui::CalcTextSize("Generation  ").x;
    const float maxAt = meanAt + ImGui::CalcTextSize("12345678901.0  ").x;
    ImGui::TextUnformatted("Generation");
    ImGui::SameLine(meanAt);
    ImGui::TextDisabled("mean");
    ImGui::SameLine(maxAt);
    ImGui::TextDisabled("max");
    for (const auto& [name, summary] :
         {std::pair{"Predators", predators}, std::pair{"Prey", prey}}) {
        ImGui::TextUnformatted(name);
        ImGui::SameLine(meanAt);
        ImGui::Text("%.1f", summary.mean);
        ImGui::SameLine(maxAt);
        ImGui::Text("%" PRId64, summary.maximum);
    }
}

void historySection(const PanelInputs& in) {
    const History& h = *in.history;
    ImGui::TextDisabled("%s reports; a point is the mean of %d", groupedCount(h.reports()).c_str(),
                        h.capturesPerReport.reportsPerPoint());
    plot("Captures per 200 ticks", {{&h.capturesPerReport, kPredatorLine, "captures"}});
    plot("Mean generation", {{&h.predatorMeanGeneration, kPredatorLine, "Predators"},
                             {&h.preyMeanGeneration, kPreyLine, "Prey"}});
    swatch(kPredatorLine, "Predators");
    ImGui::SameLine();
    swatch(kPreyLine, "Prey");
    plot("Genome spread (weight SD)", {{&h.predatorGenomeSpread, kPredatorLine, "Predators"},
                                       {&h.preyGenomeSpread, kPreyLine, "Prey"}});
    swatch(kPredatorLine, "Predators");
    ImGui::SameLine();
    swatch(kPreyLine, "Prey");
    plot("Dispersion of the probe responses",
         {{&h.probeSpreadE, kProbeELine, "probe E"}, {&h.probeSpreadM, kProbeMLine, "probe M"}});
    swatch(kProbeELine, "probe E");
    ImGui::SameLine();
    swatch(kProbeMLine, "probe M");
}

// A row of coloured cells, one per value (blue negative, orange positive), the value
// of the cell under the pointer in a tooltip.
void valueStrip(const float* values, int count, const char* name) {
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float available = ImGui::GetContentRegionAvail().x;
    const float cell = std::max(2.0f, std::floor(available / static_cast<float>(kGenomeSize)));
    const float height = 14.0f;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    for (int k = 0; k < count; ++k) {
        const std::uint32_t rgb = weightColour(values[k]);
        const ImU32 colour = IM_COL32((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, 255);
        const float x = origin.x + static_cast<float>(k) * cell;
        draw->AddRectFilled(ImVec2(x, origin.y),
                            ImVec2(x + cell - (cell > 3 ? 1.0f : 0.0f), origin.y + height), colour);
    }
    ImGui::Dummy(ImVec2(cell * static_cast<float>(count), height));
    if (ImGui::IsItemHovered()) {
        const int k = static_cast<int>((ImGui::GetIO().MousePos.x - origin.x) / cell);
        if (k >= 0 && k < count) {
            ImGui::SetTooltip("%s %d: %.4f", name, k, static_cast<double>(values[k]));
        }
    }
}

void agentSection(const PanelInputs& in) {
    if (!selectionValid(in.world->world, in.selection)) {
        ImGui::TextDisabled("Click an Agent to inspect it.");
        return;
    }
    const bool predator = in.selection.predator;
    const int slot = in.selection.slot;
    const Agent& a = predator ? in.world->world.predators[slot] : in.world->world.prey[slot];
    ImGui::Text("%s in slot %d, rank %d", predator ? "Predator" : "Prey", slot, a.rank);
    ImGui::Text("Generation %" PRId64 ", age %" PRId64 " ticks", a.generation, a.age);
    ImGui::Text("Energy %.3f", static_cast<double>(a.energy));
    if (predator) {
        ImGui::Text("Catches %" PRId64 ", last catch %d ticks ago", a.catches, a.ticksSinceCatch);
    }
    ImGui::TextUnformatted("Genome (63 weights; blue < 0 < orange):");
    valueStrip((predator ? in.world->world.predatorGenomes.data()
                         : in.world->world.preyGenomes.data())[slot]
                   .data(),
               kGenomeSize, "weight");
    const ControlSnapshot control = latestControl(*in.world, predator, slot);
    ImGui::TextUnformatted("Latest inputs (Prey, Predators, walls):");
    valueStrip(control.inputs.data(), kInputCount, "input");
    if (ImGui::TreeNode("Input values")) {
        // Ten groups of four: offset and velocity terms, each forward and left.
        static constexpr const char* kGroups[10] = {
            "Prey 1",     "Prey 2",     "Prey 3",     "Prey 4", "Predator 1",
            "Predator 2", "Predator 3", "Predator 4", "x wall", "y wall"};
        ImGui::TextUnformatted("            offset f, l     velocity f, l");
        for (int group = 0; group < 10; ++group) {
            const float* v = control.inputs.data() + 4 * group;
            ImGui::Text("%-11s %+.3f %+.3f  %+.3f %+.3f", kGroups[group], static_cast<double>(v[0]),
                        static_cast<double>(v[1]), static_cast<double>(v[2]),
                        static_cast<double>(v[3]));
        }
        ImGui::TreePop();
    }
    ImGui::Text("Thrust: forward %+.4f, lateral %+.4f",
                static_cast<double>(control.outputs.forward),
                static_cast<double>(control.outputs.lateral));
}

// Every model parameter with its value; a value other than the standard world's is marked
// and shows the default beside it.
void settingsSection(const PanelInputs& in) {
    const ModelSettings& settings = in.world->world.settings;
    const ModelSettings defaults;
    int changed = 0;
    const float valueAt = ImGui::CalcTextSize("reproduction.mutation_amplitude  ").x;
    for (const ModelParameter& p : modelParameters()) {
        const double value = p.get(settings);
        const double standard = p.get(defaults);
        const std::string text = formatParameterValue(p, value);
        if (value == standard) {
            ImGui::TextDisabled("%s", p.name);
        } else {
            ++changed;
            ImGui::Text("%s", p.name);
        }
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s (%s)", p.meaning, p.unit);
        ImGui::SameLine(valueAt);
        if (value == standard) {
            ImGui::TextDisabled("%s", text.c_str());
        } else {
            // The default on a line of its own: the value's place is narrow.
            ImGui::TextUnformatted(text.c_str());
            ImGui::TextDisabled("  default %s", formatParameterValue(p, standard).c_str());
        }
    }
    if (changed == 0) ImGui::TextDisabled("The standard model: every value is its default.");
}

void keySection() {
    ImGui::TextUnformatted(
        "Space   pause / resume\n"
        ".       one tick while paused\n"
        ",       one tick back while paused\n"
        "PgUp/PgDn    1,000 ticks back / on\n"
        "Home/End     oldest / newest tick\n"
        "Ctrl    fast, not drawn (again: normal)\n"
        "Shift   fast, drawn (again: normal)\n"
        "Right/Left   add / remove a Prey\n"
        "Up/Down      add / remove a Predator\n"
        "Click   select an Agent (empty: clear)\n"
        "H, F1   show / hide this panel\n"
        "F12     screenshot (PNG, named by tick)\n"
        "R       record / stop (MP4, named by tick)\n"
        "Esc     save and quit");
}

}  // namespace

void timelineSection(const PanelInputs& in, PanelRequest& request) {
    const WatchedRun& run = *in.run;
    const KeyframeStore& keyframes = run.keyframes();
    constexpr double kMiB = 1024.0 * 1024.0;
    if (keyframes.budgetBytes() < sizeof(Keyframe)) {
        ImGui::TextDisabled("No rewind (--rewind-memory %.0f MiB)",
                            double(keyframes.budgetBytes()) / kMiB);
        return;
    }
    ImGui::Text("Rewind back to tick %s", groupedCount(run.oldestTick()).c_str());
    ImGui::TextDisabled("  %zu keyframes, %.0f of %.0f MiB", keyframes.count(),
                        double(keyframes.bytes()) / kMiB, double(keyframes.budgetBytes()) / kMiB);
    std::int64_t tick = run.tickNow();
    const std::int64_t oldest = run.oldestTick();
    const std::int64_t newest = run.newestTick();
    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::SliderScalar("##timeline", ImGuiDataType_S64, &tick, &oldest, &newest, "tick %lld",
                            ImGuiSliderFlags_AlwaysClamp)) {
        request.jump = true;
        request.tick = tick;
    }
    if (!run.inPast()) return;
    const ImVec4 warning(1.0f, 0.8f, 0.3f, 1.0f);
    ImGui::PushStyleColor(ImGuiCol_Text, warning);
    if (run.changeWaiting()) {
        ImGui::TextWrapped(
            "The size change makes another future: at the next tick, ticks "
            "%s to %s are discarded, and the save, the log and the archive go "
            "back to tick %s.",
            groupedCount(run.tickNow() + 1).c_str(), groupedCount(newest).c_str(),
            groupedCount(run.tickNow()).c_str());
    } else {
        ImGui::TextWrapped(
            "Watching the past, %s ticks before the newest: running on replays it "
            "exactly; a size change here discards what came after.",
            groupedCount(newest - run.tickNow()).c_str());
    }
    ImGui::PopStyleColor();
    if (run.changeWaiting() && ImGui::Button("Undo the size change")) request.undoChange = true;
    if (ImGui::Button("Back to the newest tick (End)")) {
        request.jump = true;
        request.tick = newest;
    }
}

PanelRequest Panel::build(const PanelInputs& in, int windowWidth, int windowHeight) {
    PanelRequest request;
    ImGui::SetNextWindowPos(ImVec2(left(windowWidth), 0.0f));
    ImGui::SetNextWindowSize(ImVec2(width, static_cast<float>(windowHeight)));
    ImGui::SetNextWindowBgAlpha(1.0f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings |
                                   ImGuiWindowFlags_NoTitleBar;
    ImGui::Begin("Kavrosa panel", nullptr, flags);
    runSection(in);
    if (in.run != nullptr) timelineSection(in, request);
    ImGui::Separator();
    eventSection(in);
    generationSection(in);
    if (ImGui::CollapsingHeader("Selected Agent", ImGuiTreeNodeFlags_DefaultOpen)) agentSection(in);
    if (ImGui::CollapsingHeader("History", ImGuiTreeNodeFlags_DefaultOpen)) historySection(in);
    if (ImGui::CollapsingHeader("Model settings")) settingsSection(in);
    if (ImGui::CollapsingHeader("Keys", ImGuiTreeNodeFlags_DefaultOpen)) keySection();
    ImGui::End();
    return request;
}

}  // namespace kav
