// The panel laid out by ImGui without a display, at its widest content: the largest
// numbers, every parameter changed, an Agent selected, the past watched with a change
// waiting. No line may reach past the panel's edge.
#include <memory>

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include "app/panel.h"
#include "sim/model_parameters.h"

namespace kav {
namespace {

class PanelLayout : public ::testing::Test {
protected:
    void SetUp() override {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1140.0f, 600.0f);
        io.DeltaTime = 1.0f / 30.0f;
        unsigned char* pixels = nullptr;
        int width = 0;
        int height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    }
    void TearDown() override { ImGui::DestroyContext(); }

    // Builds the panel for a few frames (ImGui measures a window's content a frame late)
    // with every section open; the widest its content reached beyond its inner width.
    float overflow(const PanelInputs& in) {
        Panel panel;
        float worst = -1e9f;
        for (int frame = 0; frame < 4; ++frame) {
            ImGui::NewFrame();
            panel.build(in, 1140, 600);
            ImGui::Render();
            ImGuiWindow* window = ImGui::FindWindowByName("Kavrosa panel");
            if (window == nullptr) return 1e9f;
            window->StateStorage.SetInt(window->GetID("Model settings"), 1);
            if (frame >= 2)  // with the scroll bar the first frames found needed
                worst =
                    std::max(worst, window->ContentSize.x - window->ContentRegionRect.GetWidth());
        }
        return worst;
    }
};

TEST_F(PanelLayout, NothingReachesPastTheEdgeAtTheWidestNumbers) {
    auto population = std::make_unique<Population>();
    ModelSettings settings;
    // Every parameter changed, to a long number near its range's far end.
    for (const ModelParameter& p : modelParameters())
        p.set(settings,
              p.integer ? p.maximum - 1 : p.minimum + (p.maximum - p.minimum) * 0.987654321);
    settings.arena = ModelSettings{}.arena;  // room for the Agents
    population->setup(settings, 40, 200);
    WatchedRun run(*population, 64 * sizeof(Keyframe), {10, 100, 50});
    run.start();
    while (run.tickNow() < 420) run.tick();
    ASSERT_TRUE(run.jumpTo(15));
    run.requestSizeChange(true, false);
    World& world = population->world;
    world.tick = 123'456'789'012;
    for (Agent& a : world.predators) {
        a.generation = 9'876'543'210;
        a.catches = 1'234'567'890;
        a.age = 9'876'543'210;
    }
    for (Agent& a : world.prey) a.generation = 9'876'543'210;

    PanelInputs in;
    in.world = population.get();
    in.history = &run.history();
    in.run = &run;
    in.ticksPerSecond = 123'456'789;
    in.totals = {9'876'543'210'123, 9'876'543'210'123, 9'876'543'210'123};
    in.selection = {true, true, 3};
    EXPECT_LE(overflow(in), 0.5f);
}

}  // namespace
}  // namespace kav
