// Feeds the journals' parsers, desktop-clearing and display-mode, any bytes: they must never
// read outside them, and what they accept must survive being written and read again unchanged.
#include "JournalFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool same(const stagehand::JournalWindow& a, const stagehand::JournalWindow& b)
{
    return a.handle == b.handle && a.owner.pid == b.owner.pid && a.owner.created == b.owner.created;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly `size` bytes, so that the sanitizer sees any read past the end.
    char* text = static_cast<char*>(std::malloc(size ? size : 1));
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(data[i]);
    stagehand::Journal journal;
    if (stagehand::parseJournal(text, size, journal) == nullptr) {
        std::string written = stagehand::formatJournal(journal);
        stagehand::Journal again;
        require(stagehand::parseJournal(written.data(), written.size(), again) == nullptr);
        require(again.writer.pid == journal.writer.pid && again.writer.created == journal.writer.created);
        require(same(again.foreground, journal.foreground) && again.windows.size() == journal.windows.size());
        for (unsigned int i = 0; i < journal.windows.size(); ++i)
            require(same(again.windows[i], journal.windows[i]));
        require(stagehand::formatJournal(again) == written);
    }
    stagehand::DisplayModeJournal mode;
    if (stagehand::parseJournal(text, size, mode) == nullptr) {
        std::string written = stagehand::formatJournal(mode);
        stagehand::DisplayModeJournal again;
        require(stagehand::parseJournal(written.data(), written.size(), again) == nullptr);
        require(again.writer.pid == mode.writer.pid && again.writer.created == mode.writer.created &&
                again.adapter == mode.adapter);
        const stagehand::JournalMode &a = again.mode, &b = mode.mode;
        require(a.width == b.width && a.height == b.height && a.refresh == b.refresh && a.bitsPerPixel == b.bitsPerPixel);
    }
    std::free(text);
    return 0;
}
