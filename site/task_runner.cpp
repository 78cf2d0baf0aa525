// A batch of tasks on threads of their own, joined before the caller goes on.
#include "task_runner.h"

#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace qm::site {

void RunTasks(std::size_t count, const std::function<void(std::size_t)>& task)
{
    if (count == 0)
        return;
    std::vector<std::exception_ptr> thrown(count);
    const auto run = [&task, &thrown](std::size_t t) {
        try {
            task(t);
        } catch (...) {
            thrown[t] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    std::vector<std::size_t> onCaller;
    threads.reserve(count - 1);
    for (std::size_t t = 1; t < count; ++t) {
        try {
            threads.emplace_back(run, t);
        } catch (const std::system_error&) {
            onCaller.push_back(t);
        }
    }
    run(0);
    for (const std::size_t t : onCaller)
        run(t);
    for (std::thread& thread : threads)
        thread.join();
    for (const std::exception_ptr& e : thrown)
        if (e)
            std::rethrow_exception(e);
}

} // namespace qm::site
