#include "session/PageRendering.hpp"

#include <cstdlib>
#include <glib.h>
#include <string>

namespace {

std::optional<PageRendering::Drawing> chosen;

WebKitMemoryPressureSettings* pressureSettings(unsigned limit) {
    WebKitMemoryPressureSettings* settings = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(settings, limit);
    // Each threshold must stay below the next: the strict one first.
    webkit_memory_pressure_settings_set_strict_threshold(settings, PageRendering::releaseAllAt);
    webkit_memory_pressure_settings_set_conservative_threshold(settings,
                                                               PageRendering::releaseCachesAt);
    webkit_memory_pressure_settings_set_poll_interval(settings, PageRendering::pressurePollSeconds);
    return settings;
}

} // namespace

std::optional<PageRendering::Drawing> PageRendering::drawingFor(const char* value) {
    const std::string_view text = value ? value : "";
    if (text.empty() || text == "cpu")
        return Drawing::cpu;
    if (text == "gpu")
        return Drawing::gpu;
    return std::nullopt;
}

PageRendering::Drawing PageRendering::chooseDrawing() {
    const char* value = std::getenv(drawingVariable);
    auto drawing = drawingFor(value);
    if (!drawing) {
        g_warning("%s=%s is neither \"cpu\" nor \"gpu\": the page is drawn on the CPU",
                  drawingVariable, value);
        drawing = Drawing::cpu;
    }
    // WebKit's DMABuf renderer hands the page to GTK as GPU buffers, even
    // for a page drawn on the CPU; without it the page comes as plain
    // images, which every GTK renderer draws. A value the user set wins.
    if (*drawing == Drawing::cpu)
        setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    chosen = drawing;
    return *drawing;
}

PageRendering::Drawing PageRendering::drawing() {
    return chosen ? *chosen : chooseDrawing();
}

WebKitWebContext* PageRendering::webContext() {
    // Lives as long as the process, as WebKit's default context would.
    static WebKitWebContext* const context = [] {
        WebKitMemoryPressureSettings* settings = pressureSettings(webProcessLimit);
        auto* made = WEBKIT_WEB_CONTEXT(
            g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "memory-pressure-settings", settings, nullptr));
        webkit_memory_pressure_settings_free(settings);
        // One page, visited over and over: no back-forward pages, small caches.
        webkit_web_context_set_cache_model(made, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
        return made;
    }();
    return context;
}

void PageRendering::limitNetworkProcess() {
    static const bool done = [] {
        WebKitMemoryPressureSettings* settings = pressureSettings(networkProcessLimit);
        webkit_network_session_set_memory_pressure_settings(settings);
        webkit_memory_pressure_settings_free(settings);
        return true;
    }();
    (void)done;
}

void PageRendering::apply(WebKitSettings* settings) {
    webkit_settings_set_hardware_acceleration_policy(
        settings, drawing() == Drawing::gpu ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS
                                            : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    keepTimersWhenHidden(settings);
}

bool PageRendering::keepTimersWhenHidden(WebKitSettings* settings) {
    // Found by name: the list of features differs from one WebKit to the next.
    WebKitFeatureList* features = webkit_settings_get_all_features();
    bool found = false;
    for (gsize i = 0; i < webkit_feature_list_get_length(features) && !found; ++i) {
        WebKitFeature* feature = webkit_feature_list_get(features, i);
        if (g_strcmp0(webkit_feature_get_identifier(feature), hiddenTimerThrottling) == 0) {
            webkit_settings_set_feature_enabled(settings, feature, FALSE);
            found = true;
        }
    }
    webkit_feature_list_unref(features);
    return found;
}
