#include "app/panel.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <imgui.h>

#include "app/agent_details.h"
#include "app/title.h"
#include "sim/model_parameters.h"

namespace kav {

namespace {

constexpr ImU32 kPredatorLine = IM_COL32(255, 90, 70, 255);
constexpr ImU32 kPreyLine = IM_COL32(225, 225, 225, 255);
constexpr ImU32 kClonalLine = IM_COL32(255, 170, 40, 255);
constexpr ImU32 kSexualLine = IM_COL32(110, 170, 255, 255);
constexpr int kPlotVertices = 160;

struct Line {
    const HistorySeries* series;
    ImU32 colour;
};

// One plot of one or two series over the whole run, their common range written at the
// left edge. ImGui's own plot draws one series only.
void plot(const char* title, std::initializer_list<Line> lines, float height = 46.0f) {
    ImGui::TextUnformatted(title);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float plotWidth = ImGui::GetContentRegionAvail().x;
    ImGui::Dummy(ImVec2(plotWidth, height));
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec2 corner(origin.x + plotWidth, origin.y + height);
    draw->AddRectFilled(origin, corner, ImGui::GetColorU32(ImGuiCol_FrameBg));

    bool any = false;
    float low = 0;
    float high = 0;
    for (const Line& line : lines) {
        float lineLow = 0;
        float lineHigh = 0;
        if (!line.series->range(lineLow, lineHigh)) continue;
        low = any ? std::min(low, lineLow) : lineLow;
        high = any ? std::max(high, lineHigh) : lineHigh;
        any = true;
    }
    if (!any) {
        draw->AddText(ImVec2(origin.x + 4, origin.y + 4), ImGui::GetColorU32(ImGuiCol_TextDisabled),
                      "no report yet (every 200th tick)");
        return;
    }
    if (high - low < 1e-6f) {
        low -= 0.5f;
        high += 0.5f;
    }
    const float pixels = std::max(plotWidth - 2.0f, 1.0f);
    // Thin lines of at most kPlotVertices points, without anti-aliasing: a software
    // renderer pays for every triangle, and the panel is drawn in the fast modes too.
    const ImDrawListFlags drawFlags = draw->Flags;
    draw->Flags &= ~ImDrawListFlags_AntiAliasedLines;
    for (const Line& line : lines) {
        const int n = line.series->size();
        if (n == 0) continue;
        const int vertices = std::min(n, kPlotVertices);
        ImVec2 path[kPlotVertices];
        int pathLength = 0;
        // A stretch of points that are not numbers breaks the line.
        const auto flush = [&] {
            if (pathLength == 1) draw->AddCircleFilled(path[0], 2.0f, line.colour, 6);
            if (pathLength > 1) draw->AddPolyline(path, pathLength, line.colour, 0, 1.0f);
            pathLength = 0;
        };
        for (int k = 0; k < vertices; ++k) {
            // The mean of the points that fall to this vertex.
            const int first = static_cast<int>(static_cast<long long>(k) * n / vertices);
            const int last =
                std::max(first + 1, static_cast<int>(static_cast<long long>(k + 1) * n / vertices));
            float sum = 0;
            for (int i = first; i < last; ++i) sum += line.series->data()[i];
            const float value = sum / static_cast<float>(last - first);
            if (!std::isfinite(value)) {
                flush();
                continue;
            }
            const float fx =
                vertices == 1 ? 0.0f : static_cast<float>(k) / static_cast<float>(vertices - 1);
            const float fy = (value - low) / (high - low);
            path[pathLength++] = ImVec2(origin.x + 1.0f + fx * (pixels - 1.0f),
                                        corner.y - 2.0f - fy * (height - 4.0f));
        }
        flush();
    }
    draw->Flags = drawFlags;
    char range[64];
    std::snprintf(range, sizeof range, "%.3g .. %.3g", static_cast<double>(low),
                  static_cast<double>(high));
    draw->AddText(ImVec2(origin.x + 3, origin.y + 1), ImGui::GetColorU32(ImGuiCol_TextDisabled),
                  range);
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
    ImGui::Text("Generation  Predators: mean %.1f, max %" PRId64, predators.mean,
                predators.maximum);
    ImGui::Text("            Prey:      mean %.1f, max %" PRId64, prey.mean, prey.maximum);
}

void historySection(const PanelInputs& in) {
    const History& h = *in.history;
    ImGui::TextDisabled("%s reports; a point is the mean of %d", groupedCount(h.reports()).c_str(),
                        h.capturesPerReport.reportsPerPoint());
    plot("Captures per 200 ticks", {{&h.capturesPerReport, kPredatorLine}});
    plot("Mean generation",
         {{&h.predatorMeanGeneration, kPredatorLine}, {&h.preyMeanGeneration, kPreyLine}});
    swatch(kPredatorLine, "Predators");
    ImGui::SameLine();
    swatch(kPreyLine, "Prey");
    plot("Prey mean rank position, %",
         {{&h.clonalRankPct, kClonalLine}, {&h.sexualRankPct, kSexualLine}});
    swatch(kClonalLine, "clonal");
    ImGui::SameLine();
    swatch(kSexualLine, "sexual");
    plot("Dispersion of the probe responses",
         {{&h.probeSpreadE, kClonalLine}, {&h.probeSpreadM, kSexualLine}});
    swatch(kClonalLine, "probe E");
    ImGui::SameLine();
    swatch(kSexualLine, "probe M");
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
    for (const ModelParameter& p : modelParameters()) {
        const double value = p.get(settings);
        const double standard = p.get(defaults);
        const std::string text = formatParameterValue(p, value);
        if (value == standard) {
            ImGui::TextDisabled("  %-32s %s", p.name, text.c_str());
        } else {
            ++changed;
            ImGui::Text("* %-32s %s  (default %s)", p.name, text.c_str(),
                        formatParameterValue(p, standard).c_str());
        }
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s (%s)", p.meaning, p.unit);
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
    ImGui::TextWrapped("Back to tick %s: %zu keyframes, %.0f of %.0f MiB",
                       groupedCount(run.oldestTick()).c_str(), keyframes.count(),
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
        ImGui::TextWrapped("The size change makes another future: at the next tick, ticks "
                           "%s to %s are discarded, and the save, the log and the archive go "
                           "back to tick %s.",
                           groupedCount(run.tickNow() + 1).c_str(), groupedCount(newest).c_str(),
                           groupedCount(run.tickNow()).c_str());
    } else {
        ImGui::TextWrapped("Watching the past, %s ticks before the newest: running on replays it "
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
