// porthold-store-bench: what the message bookkeeping costs with a full
// messages folder. Each figure is measured on a private folder of N messages
// and printed as "<figure>\t<messages>\t<median milliseconds>".

#include <QApplication>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "command_line_options.h"
#include "figures.h"

namespace porthold::tools::store_bench {

namespace {

struct Options {
    std::vector<int> messageCounts{1000, 10000};
    int runs = 5;
};

std::optional<int> PositiveNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1) {
        return std::nullopt;
    }
    return value;
}

// "1000,10000": each count of messages to measure at. A folder holds at most
// one message per file number.
std::optional<std::vector<int>> MessageCounts(const std::string& text) {
    std::vector<int> counts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::optional<int> count = PositiveNumber(text.substr(start, comma - start));
        if (!count || *count >= 9999999) {
            return std::nullopt;
        }
        counts.push_back(*count);
        if (comma == std::string::npos) {
            return counts;
        }
        start = comma + 1;
    }
}

std::optional<Options> ReadOptions(std::span<const std::string> arguments, std::string& problem) {
    Options options;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (IsOption(argument, "--messages")) {
            const std::optional<std::string> value =
                OptionValue(arguments, index, "--messages", problem);
            const std::optional<std::vector<int>> counts =
                value ? MessageCounts(*value) : std::nullopt;
            if (!counts) {
                problem = problem.empty() ? "--messages takes counts from 1 to 9999998, "
                                            "separated by commas"
                                          : problem;
                return std::nullopt;
            }
            options.messageCounts = *counts;
        } else if (IsOption(argument, "--runs")) {
            const std::optional<std::string> value =
                OptionValue(arguments, index, "--runs", problem);
            const std::optional<int> runs = value ? PositiveNumber(*value) : std::nullopt;
            if (!runs) {
                problem = problem.empty() ? "--runs takes a number from 1 up" : problem;
                return std::nullopt;
            }
            options.runs = *runs;
        } else {
            problem = "unknown argument " + argument;
            return std::nullopt;
        }
    }
    return options;
}

void Print(const std::vector<Figure>& figures) {
    for (const Figure& figure : figures) {
        std::printf("%s\t%d\t%.3f\n", figure.name.c_str(), figure.messages, figure.milliseconds);
    }
    std::fflush(stdout);
}

// Measures everything at one count of messages, in a folder of its own.
bool MeasureAt(int messages, int runs) {
    BenchFolder folder;
    if (!folder.IsReady() || !WriteMessages(folder.MessagesFolder(), messages)) {
        std::cerr << "porthold-store-bench: could not write " << messages
                  << " messages to a temporary folder\n";
        return false;
    }
    Print(MeasureStore(folder.MessagesFolder(), messages, runs));
    Print(MeasureMessagesDialog(folder.ProgramFolder(), messages, runs));
    return true;
}

}  // namespace

}  // namespace porthold::tools::store_bench

int main(int argc, char** argv) {
    using namespace porthold::tools::store_bench;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string problem;
    const std::optional<Options> options = ReadOptions(arguments, problem);
    if (!options) {
        std::cerr << "porthold-store-bench: " << problem
                  << "\nusage: porthold-store-bench [--messages N[,N...]] [--runs R]\n";
        return 2;
    }
    // The dialog is measured without a screen, and Qt's runtime files go to
    // a private folder of the bench's own (made before the application and
    // removed after it) rather than to a shared one in /tmp.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const BenchFolder runtime;
    if (!runtime.IsReady()) {
        std::cerr << "porthold-store-bench: could not make a private temporary folder\n";
        return 1;
    }
    setenv("XDG_RUNTIME_DIR", runtime.Root().c_str(), 0);
    QApplication application(argc, argv);
    std::printf("# figure\tmessages\tmedian milliseconds of %d runs\n", options->runs);
    for (const int messages : options->messageCounts) {
        if (!MeasureAt(messages, options->runs)) {
            return 1;
        }
    }
    return 0;
}
