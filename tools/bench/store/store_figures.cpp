#include <algorithm>
#include <cstdio>
#include <optional>

#include "figures.h"
#include "store/message_list.h"
#include "telephony/message_files.h"

namespace porthold::tools::store_bench {

namespace {

constexpr const char* kRecordedAt = "12/07/2026 11:05 PM";

// What the engine does for a new message before the beep: every listed name
// is taken, even without its file, and the rest are asked of the disk.
std::optional<std::string> NextFreeMessageFile(const store::MessageList& messages,
                                               const std::string& messagesFolder) {
    return telephony::FirstFreeMessageFile(messagesFolder, messages, telephony::MessageFileExists);
}

std::string PathAt(const store::MessageList& messages, int index) {
    std::string path;
    messages.GetPath(index, path);
    return path;
}

}  // namespace

double MedianOfRuns(int runs, const std::function<double()>& run) {
    std::vector<double> durations;
    for (int index = 0; index < runs; ++index) {
        durations.push_back(run());
    }
    std::ranges::sort(durations);
    const std::size_t middle = durations.size() / 2;
    return durations.size() % 2 == 1 ? durations[middle]
                                     : (durations[middle - 1] + durations[middle]) / 2.0;
}

std::vector<Figure> MeasureStore(const std::string& messagesFolder, int messages, int runs) {
    std::vector<Figure> figures;
    const auto add = [&](const char* name, const std::function<double()>& run) {
        figures.push_back(Figure{name, messages, MedianOfRuns(runs, run)});
    };
    add("load list", [&] {
        store::MessageList fresh(messagesFolder);
        return MillisecondsOf([&] { fresh.LoadList(); });
    });

    store::MessageList list(messagesFolder);
    // A figure of the wrong work is worse than none: say so when the folder is
    // not what the figures assume.
    if (!list.LoadList() || list.NodeCount() != messages) {
        std::fprintf(stderr, "porthold-store-bench: the list of %d messages did not load\n",
                     messages);
    }
    const std::optional<std::string> nextFree = NextFreeMessageFile(list, messagesFolder);
    if (!nextFree || !nextFree->ends_with(std::to_string(messages) + ".wav")) {
        std::fprintf(stderr, "porthold-store-bench: unexpected next free file %s\n",
                     nextFree.value_or("(none)").c_str());
    }
    int newCount = 0;
    add("count new", [&] { return MillisecondsOf([&] { newCount = list.CountNew(); }); });
    add("next free message file",
        [&] { return MillisecondsOf([&] { NextFreeMessageFile(list, messagesFolder); }); });
    add("add message and save", [&] {
        const std::string path = messagesFolder + "m9999998.wav";
        const double taken = MillisecondsOf([&] {
            list.AddNode(path, "1234#", kRecordedAt, store::MessageStatus::New);
            list.SaveList();
        });
        list.DeleteNode(path);
        return taken;
    });
    // The newest message is the one a user plays first, and the last a search
    // from the front reaches.
    add("mark heard and save", [&] {
        const std::string path = PathAt(list, list.NodeCount() - 1);
        return MillisecondsOf([&] {
            list.MarkHeard(path);
            list.SaveList();
        });
    });
    add("delete message and save", [&] {
        const std::string path = PathAt(list, list.NodeCount() / 2);
        const double taken = MillisecondsOf([&] {
            list.DeleteNode(path);
            list.SaveList();
        });
        list.AddNode(path, "", kRecordedAt, store::MessageStatus::Heard);
        return taken;
    });
    // The dialog that is measured next opens on all the messages again.
    list.SaveList();
    return figures;
}

}  // namespace porthold::tools::store_bench
