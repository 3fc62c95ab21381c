// How the window and its page are drawn, decided before GTK starts: from
// the machine and the two variables a user may set.
#include "app/WindowRenderer.hpp"
#include "session/PageRendering.hpp"

#include <gtest/gtest.h>

TEST(DrawingChoice, windowUsesCairoOnlyWhereNoGpuDrawsAndNoRendererIsNamed) {
    using Machine = WindowRenderer::Machine;
    const struct {
        Machine machine;
        const char* renderer;
    } cases[] = {
        {{.renderNode = true}, ""},                      // a GPU: GTK's own choice
        {{.renderNode = false}, "cairo"},                // a virtual machine, a container
        {{.softwareGl = true, .renderNode = true}, "cairo"},
        {{.rendererNamed = true, .renderNode = false}, ""}, // GSK_RENDERER wins
        {{.rendererNamed = true, .softwareGl = true}, ""},
    };
    for (const auto& [machine, renderer] : cases)
        EXPECT_EQ(WindowRenderer::choiceFor(machine), renderer)
            << machine.rendererNamed << machine.softwareGl << machine.renderNode;
}

TEST(DrawingChoice, pageIsDrawnOnTheCpuUnlessTheGpuIsAskedFor) {
    using Drawing = PageRendering::Drawing;
    const struct {
        const char* value;
        std::optional<Drawing> drawing;
    } cases[] = {
        {nullptr, Drawing::cpu}, {"", Drawing::cpu},        {"cpu", Drawing::cpu},
        {"gpu", Drawing::gpu},   {"GPU", std::nullopt},     {"yes", std::nullopt},
    };
    for (const auto& [value, drawing] : cases)
        EXPECT_EQ(PageRendering::drawingFor(value), drawing) << (value ? value : "(unset)");
}
