#include "batch.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace voved::tool {

namespace {

constexpr int kBarWidth = 30;

class Printer {
  public:
    Printer(const std::vector<std::string>& names, bool bar, const BatchSettings& settings)
        : names_(names), outcomes_(names.size()), done_(names.size(), false), bar_(bar),
          settings_(settings) {}

    void Finished(size_t index, TaskOutcome outcome) {
        std::lock_guard<std::mutex> lock(mutex_);
        outcomes_[index] = std::move(outcome);
        done_[index] = true;
        ++finished_;
        ClearBar();
        while (nextToPrint_ < names_.size() && done_[nextToPrint_]) {
            Print(nextToPrint_++);
        }
        DrawBar();
    }

    size_t Count(bool ok, bool unchanged) const {
        size_t count = 0;
        for (const auto& o : outcomes_) {
            count += o.ok == ok && (!ok || o.unchanged == unchanged) ? 1 : 0;
        }
        return count;
    }

    // The bar stays, full, above the summary.
    void End() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (bar_) {
            std::fputc('\n', stderr);
        }
    }

  private:
    void Print(size_t i) {
        const TaskOutcome& o = outcomes_[i];
        const bool quiet = settings_.quiet;
        for (const auto& notice : quiet ? std::vector<std::string>{} : o.notices) {
            std::fprintf(stderr, "voved: %s: %s\n", names_[i].c_str(), notice.c_str());
        }
        if (!o.report.empty() && (!quiet || settings_.reportIsResult)) {
            std::FILE* to = settings_.reportsToStderr ? stderr : stdout;
            std::fputs(o.report.c_str(), to);
            std::fflush(to);
        }
        if (settings_.verbose) {
            std::fprintf(stderr, "voved: %s: %.2f s\n", names_[i].c_str(), o.seconds);
        }
        if (!o.ok) {
            std::fprintf(stderr, "voved: %s: %s\n", names_[i].c_str(), o.error.c_str());
        }
    }

    void ClearBar() {
        if (bar_) {
            std::fputs("\r\033[K", stderr);
        }
    }

    void DrawBar() {
        if (!bar_) {
            return;
        }
        const size_t filled = finished_ * kBarWidth / names_.size();
        std::string bar(filled, '=');
        bar.resize(kBarWidth, ' ');
        std::fprintf(stderr, "[%s] %zu/%zu", bar.c_str(), finished_, names_.size());
        std::fflush(stderr);
    }

    const std::vector<std::string>& names_;
    std::vector<TaskOutcome> outcomes_;
    std::vector<bool> done_;
    bool bar_;
    const BatchSettings& settings_;
    size_t finished_ = 0;
    size_t nextToPrint_ = 0;
    std::mutex mutex_;
};

}  // namespace

int RunBatch(const std::vector<std::string>& names, const BatchSettings& settings,
             const std::function<TaskOutcome(size_t)>& task) {
    const auto start = std::chrono::steady_clock::now();
    const bool bar =
        settings.progress && !settings.quiet && names.size() > 1 && isatty(STDERR_FILENO) != 0;
    Printer printer(names, bar, settings);
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i = next++; i < names.size(); i = next++) {
            TaskOutcome outcome;
            const auto began = std::chrono::steady_clock::now();
            try {
                outcome = task(i);
            } catch (const std::exception& error) {
                outcome.ok = false;
                outcome.error = error.what();
            }
            outcome.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            printer.Finished(i, std::move(outcome));
        }
    };
    unsigned jobs = settings.jobs != 0 ? settings.jobs : std::thread::hardware_concurrency();
    jobs = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(names.size())));
    std::vector<std::thread> pool;
    for (unsigned j = 1; j < jobs; ++j) {
        pool.emplace_back(worker);
    }
    worker();
    for (auto& thread : pool) {
        thread.join();
    }
    printer.End();
    const size_t failures = printer.Count(false, false);
    const size_t unchanged = printer.Count(true, true);
    if (settings.summary) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const size_t total = names.size();
        std::fprintf(stderr, "voved: %s %zu of %zu picture%s", settings.verb,
                     total - failures - unchanged, total, total == 1 ? "" : "s");
        if (unchanged != 0 && failures != 0) {
            std::fprintf(stderr, " (%zu unchanged, %zu failed)", unchanged, failures);
        } else if (unchanged != 0 || failures != 0) {
            std::fprintf(stderr, unchanged != 0 ? " (%zu unchanged)" : " (%zu failed)",
                         unchanged + failures);
        }
        std::fprintf(stderr, " in %.1f s\n", seconds);
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace voved::tool
