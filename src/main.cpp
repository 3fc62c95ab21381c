#include "app/OrvoWavApp.hpp"
#include "app/WindowRenderer.hpp"
#include "session/PageRendering.hpp"
#include "ui/Theme.hpp"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (const auto status = OrvoWavApp::answerCommandLine(argc, argv))
        return *status;
    // The app is drawn light only. A dark theme named in GTK_THEME
    // ("Adwaita:dark", "Adwaita-dark") would win over the app's own setting,
    // and the page would turn dark with it.
    if (const char* theme = std::getenv("GTK_THEME")) {
        const std::string name(theme);
        setenv("GTK_THEME", Theme::lightThemeName(name.substr(0, name.find(':'))).c_str(), 1);
    }
    // Before GTK and WebKit start: they read the choice from the environment.
    PageRendering::chooseDrawing();
    WindowRenderer::choose();
    return OrvoWavApp::create()->run(argc, argv);
}
