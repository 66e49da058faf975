#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace porthold::tools::store_bench {

// One line of the table: the median of the runs of one piece of work.
struct Figure {
    std::string name;
    int messages = 0;
    double milliseconds = 0.0;
};

// Wall-clock milliseconds that `work` takes.
template <typename Work>
double MillisecondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The median of the durations of `runs` runs of `run`, each of which returns
// the milliseconds its own measured part took (so it may set up and tidy up
// around that part untimed).
double MedianOfRuns(int runs, const std::function<double()>& run);

// The message bookkeeping the program does, timed on a messages folder
// already holding `messages` listed messages: loading the list at start-up,
// counting the new ones, finding the next free file name while a caller
// waits for the beep, and saving the list after each kind of change.
std::vector<Figure> MeasureStore(const std::string& messagesFolder, int messages, int runs);

// Opening the Messages dialog on that folder: from construction until the
// list is filled and the window shown. Needs a QApplication.
std::vector<Figure> MeasureMessagesDialog(const std::string& programFolder, int messages, int runs);

}  // namespace porthold::tools::store_bench
