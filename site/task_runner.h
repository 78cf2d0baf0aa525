// Running a batch of tasks at once and waiting for all of them: the way the gathering uses more
// than one thread. Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <functional>

namespace qm::site {

// Runs task(0) to task(count - 1) at once, task 0 on the calling thread and each other on a thread
// of its own (on the calling thread after task 0 when the system gives no more threads), and
// returns when all have returned. When tasks throw, the exception of the first of them in task
// order is thrown again once all have ended, so what the caller sees never depends on which thread
// was quickest.
void RunTasks(std::size_t count, const std::function<void(std::size_t)>& task);

} // namespace qm::site
