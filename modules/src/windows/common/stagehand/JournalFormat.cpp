#include "JournalFormat.h"

#include <cstring>

namespace stagehand {

namespace {

const char kHeading[] = "stagehand desktop journal ";
const char kVersion[] = "1";
const char kModeHeading[] = "stagehand display-mode journal ";
const char kModeVersion[] = "1";

bool isNameByte(char c)
{
    return c > ' ' && c < 0x7F;
}

void appendNumber(std::string& text, std::uint64_t value)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    text.append(1, ' ');
    while (n)
        text.append(1, digits[--n]);
}

void appendWindow(std::string& text, const char* tag, const JournalWindow& window)
{
    text += tag;
    appendNumber(text, window.handle);
    appendNumber(text, window.owner.pid);
    appendNumber(text, window.owner.created);
    text += '\n';
}

// Reads a journal's text strictly from the front: any byte out of place refuses it.
class Reader {
public:
    Reader(const char* text, std::size_t size) : m_at(text), m_end(text + size) {}

    bool atEnd() const { return m_at == m_end; }

    bool word(const char* expected)
    {
        std::size_t n = std::strlen(expected);
        if (static_cast<std::size_t>(m_end - m_at) < n || std::memcmp(m_at, expected, n) != 0)
            return false;
        m_at += n;
        return true;
    }

    // " N" with N at most `max`.
    bool number(std::uint64_t max, std::uint64_t& value)
    {
        if (!word(" ") || atEnd() || *m_at < '0' || *m_at > '9')
            return false;
        value = 0;
        for (; !atEnd() && *m_at >= '0' && *m_at <= '9'; ++m_at) {
            unsigned int digit = static_cast<unsigned int>(*m_at - '0');
            if (value > (max - digit) / 10)
                return false;
            value = value * 10 + digit;
        }
        return true;
    }

    bool process(JournalProcess& process)
    {
        std::uint64_t pid = 0;
        if (!number(0xFFFFFFFFu, pid) || !number(UINT64_MAX, process.created))
            return false;
        process.pid = static_cast<std::uint32_t>(pid);
        return true;
    }

    bool window(const char* tag, JournalWindow& window)
    {
        return word(tag) && number(UINT64_MAX, window.handle) && process(window.owner) && word("\n");
    }

    // " NAME\n" of 1 to kMaxAdapterBytes bytes of a name.
    bool name(std::string& name)
    {
        if (!word(" "))
            return false;
        const char* start = m_at;
        while (!atEnd() && isNameByte(*m_at) && static_cast<std::size_t>(m_at - start) < kMaxAdapterBytes)
            ++m_at;
        name.assign(start, m_at);
        return !name.empty() && word("\n");
    }

    bool mode(const char* tag, JournalMode& mode)
    {
        std::uint64_t n[4];
        if (!word(tag))
            return false;
        for (std::uint64_t& value : n)
            if (!number(0xFFFFFFFFu, value))
                return false;
        mode = {static_cast<std::uint32_t>(n[0]), static_cast<std::uint32_t>(n[1]), static_cast<std::uint32_t>(n[2]),
                static_cast<std::uint32_t>(n[3])};
        return word("\n");
    }

private:
    const char* m_at;
    const char* m_end;
};

void appendMode(std::string& text, const char* tag, const JournalMode& mode)
{
    text += tag;
    for (std::uint32_t value : {mode.width, mode.height, mode.refresh, mode.bitsPerPixel})
        appendNumber(text, value);
    text += '\n';
}

}  // namespace

std::string formatJournal(const Journal& journal)
{
    std::string text = std::string(kHeading) + kVersion + "\nwriter";
    appendNumber(text, journal.writer.pid);
    appendNumber(text, journal.writer.created);
    text += '\n';
    appendWindow(text, "foreground", journal.foreground);
    for (unsigned int i = 0; i < journal.windows.size(); ++i)
        appendWindow(text, "window", journal.windows[i]);
    text += "end";
    appendNumber(text, journal.windows.size());
    text += '\n';
    return text;
}

const char* parseJournal(const char* text, std::size_t size, Journal& journal)
{
    if (size > kMaxJournalBytes)
        return "it is larger than 1 MiB";
    Reader in(text, size);
    if (!in.word(kHeading))
        return "it is not a desktop-clearing journal";
    if (!in.word(kVersion) || !in.word("\n"))
        return "its version is unknown";
    Journal read;
    if (!in.word("writer") || !in.process(read.writer) || !in.word("\n") || !in.window("foreground", read.foreground))
        return "it is cut short or damaged";
    JournalWindow window;
    while (in.window("window", window))
        read.windows.append(window);
    std::uint64_t count = 0;
    if (!in.word("end") || !in.number(UINT64_MAX, count) || !in.word("\n") || !in.atEnd() ||
        count != read.windows.size())
        return "it is cut short or damaged";
    journal = read;
    return nullptr;
}

std::string formatJournal(const DisplayModeJournal& journal)
{
    const std::string& adapter = journal.adapter;
    if (adapter.empty() || adapter.size() > kMaxAdapterBytes)
        return std::string();
    for (char c : adapter)
        if (!isNameByte(c))
            return std::string();
    std::string text = std::string(kModeHeading) + kModeVersion + "\nwriter";
    appendNumber(text, journal.writer.pid);
    appendNumber(text, journal.writer.created);
    text += "\nadapter " + adapter + "\n";
    appendMode(text, "mode", journal.mode);
    return text + "end\n";
}

const char* parseJournal(const char* text, std::size_t size, DisplayModeJournal& journal)
{
    if (size > kMaxJournalBytes)
        return "it is larger than 1 MiB";
    Reader in(text, size);
    if (!in.word(kModeHeading))
        return "it is not a display-mode journal";
    if (!in.word(kModeVersion) || !in.word("\n"))
        return "its version is unknown";
    DisplayModeJournal read = {};
    if (!in.word("writer") || !in.process(read.writer) || !in.word("\n") || !in.word("adapter") ||
        !in.name(read.adapter) || !in.mode("mode", read.mode) || !in.word("end\n") || !in.atEnd())
        return "it is cut short or damaged";
    journal = read;
    return nullptr;
}

}  // namespace stagehand
