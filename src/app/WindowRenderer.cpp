#include "app/WindowRenderer.hpp"

#include <cstdlib>
#include <filesystem>
#include <string_view>

std::string WindowRenderer::choiceFor(const Machine& machine) {
    if (machine.rendererNamed)
        return "";
    return machine.softwareGl || !machine.renderNode ? "cairo" : "";
}

void WindowRenderer::choose() {
    Machine machine;
    machine.rendererNamed = std::getenv("GSK_RENDERER") != nullptr;
    const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    machine.softwareGl = software && *software && std::string_view(software) != "0";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error))
        if (entry.path().filename().string().starts_with("renderD"))
            machine.renderNode = true;
    if (const std::string renderer = choiceFor(machine); !renderer.empty())
        setenv("GSK_RENDERER", renderer.c_str(), 1);
}
