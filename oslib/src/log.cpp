// The agent's log file.
#include "oslib/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "oslib/configuration.h"
#include "oslib/descriptors.h"
#include "oslib/icu_date.h"
#include "oslib/mutex.h"
#include "oslib/system_log.h"
#include "oslib/text.h"
#include "oslib/user_folders.h"

int32_t debugLevel = 3;

namespace {

// Guards appending to the log file. Lock order: the agent's _lock, then this one, never the
// reverse; nothing here calls back into the agent, so no code that holds it can take _lock.
oslib::Mutex _logLock;

constexpr off_t kLogCap = 0x100000;

// Open DeferredLogSync scopes on this thread, and whether a line awaits their flush.
thread_local int deferredSyncDepth = 0;
thread_local bool syncPending = false;

std::string LogFilePath() { return oslib::SupportFolder() + "Tidewell.log"; }

// The log file opened for appending, or none. Anything but a regular file where the log
// belongs (a symlink, a FIFO that would block the agent at its first line, a device) means
// no file logging.
oslib::UniqueFd OpenLogFile(int create, struct stat& info) REQUIRES(_logLock)
{
    oslib::UniqueFd file(
        open(LogFilePath().c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | create, 0600));
    if (file.get() >= 0 && (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))) {
        file.reset();
    }
    return file;
}

struct Level {
    const char* tag;
    oslib::LogPriority priority;  // on the journal
};

Level LevelOf(uint32_t level)
{
    switch (level) {
    case 1:
    case 2:
        return {"DBG", oslib::LogPriority::kDebug};
    case 3:
        return {"INF", oslib::LogPriority::kInfo};
    case 4:
        return {"WRN", oslib::LogPriority::kWarning};
    case 5:
        return {"ERR", oslib::LogPriority::kError};
    default:
        return {"???", oslib::LogPriority::kInfo};
    }
}

const char* FileNamePart(const char* sourcePath)
{
    const char* slash = std::strrchr(sourcePath, '/');
    return slash != nullptr ? slash + 1 : sourcePath;
}

// Length of the valid UTF-8 sequence at text[0], or 0 when it is not one.
size_t Utf8SequenceLength(const unsigned char* text, size_t left)
{
    unsigned char c = text[0];
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || length > left || (length == 2 && c < 0xC2) || (length == 4 && c > 0xF4)) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    if ((length == 3 && c == 0xE0 && text[1] < 0xA0) || (length == 4 && c == 0xF0 && text[1] < 0x90) ||
        (length == 4 && c == 0xF4 && text[1] > 0x8F) || (length == 3 && c == 0xED && text[1] > 0x9F)) {
        return 0;
    }
    return length;
}

// Device strings carry raw low bytes of UTF-16 units; a byte that does not start valid
// UTF-8 is taken as Latin-1, so the log always holds valid UTF-8.
std::string ToUtf8Text(const char* bytes)
{
    std::string out;
    const auto* text = reinterpret_cast<const unsigned char*>(bytes);
    size_t left = std::strlen(bytes);
    while (left > 0) {
        size_t length = Utf8SequenceLength(text, left);
        if (length > 0) {
            out.append(reinterpret_cast<const char*>(text), length);
        } else {
            oslib::AppendLatin1(out, text[0]);
            length = 1;
        }
        text += length;
        left -= length;
    }
    return out;
}

} // namespace

void LogPrintf(uint32_t level, const char* sourcePath, int32_t line, const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);

    if (static_cast<uint32_t>(debugLevel) > level) {
        return;
    }

    std::string stamp = oslib::FormatDate("yyyy/MM/dd HH:mm:ss", oslib::NowMillis());
    std::string text = oslib::EscapeControls(ToUtf8Text(message));
    const Level tagged = LevelOf(level);
    char head[128];
    if (level <= 2) {
        snprintf(head, sizeof head, "[%s][%s] %s(%05d) ", stamp.c_str(), tagged.tag, FileNamePart(sourcePath), line);
    } else {
        snprintf(head, sizeof head, "[%s][%s] ", stamp.c_str(), tagged.tag);
    }
    std::string entry = head + text;
    // The journal stamps its lines and keeps the level as their priority.
    oslib::SystemLogText(oslib::Configured().standardErrorIsJournal ? text : entry, tagged.priority);

    oslib::MutexLock guard(_logLock);
    struct stat info {};
    oslib::UniqueFd file = OpenLogFile(O_CREAT, info);
    if (file.get() < 0) {
        return;
    }
    // It names devices by their serial numbers; a log of an earlier version may be readable by all.
    if ((info.st_mode & 077) != 0) {
        fchmod(file.get(), 0600);
    }
    // Past the cap the file starts again empty; one that cannot be emptied is appended to.
    int emptied = info.st_size > kLogCap ? ftruncate(file.get(), 0) : 0;
    (void)emptied;
    ssize_t written = write(file.get(), entry.data(), entry.size());
    (void)written;
    if (deferredSyncDepth == 0) {
        fsync(file.get());
    } else {
        syncPending = true;
    }
}

DeferredLogSync::DeferredLogSync() { ++deferredSyncDepth; }

DeferredLogSync::~DeferredLogSync()
{
    if (--deferredSyncDepth != 0 || !syncPending) {
        return;
    }
    syncPending = false;
    oslib::MutexLock guard(_logLock);
    struct stat info {};
    oslib::UniqueFd file = OpenLogFile(0, info);
    if (file.get() >= 0) {
        fsync(file.get());
    }
}
