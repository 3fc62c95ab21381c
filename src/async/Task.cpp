#include "async/Task.hpp"

task_detail::UncaughtHandler& task_detail::uncaughtHandler() {
    static UncaughtHandler handler;
    return handler;
}
