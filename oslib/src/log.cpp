// The agent's log file.
#include "oslib/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unicode/utf8.h>

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

// Device strings carry raw low bytes of UTF-16 units; a byte that does not start valid
// UTF-8 is taken as Latin-1 and the next byte is looked at afresh, so the log always holds
// valid UTF-8.
std::string ToUtf8Text(const char* bytes, size_t length)
{
    std::string out;
    const auto* text = reinterpret_cast<const uint8_t*>(bytes);
    const auto end = static_cast<int32_t>(length);
    for (int32_t at = 0; at < end;) {
        const int32_t start = at;
        UChar32 c = 0;
        U8_NEXT(text, at, end, c);
        if (c < 0) {
            oslib::AppendLatin1(out, text[start]);
            at = start + 1;
        } else {
            out.append(bytes + start, static_cast<size_t>(at - start));
        }
    }
    return out;
}

// A message longer than its buffer is cut at a character's start and ends in this mark, so
// that it still ends its line and the next entry starts a line of its own.
constexpr char kCutMark[] = "...[cut]\n";

} // namespace

void LogPrintf(uint32_t level, const char* sourcePath, int32_t line, const char* format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    if (vsnprintf(message, sizeof message, format, args) >= static_cast<int>(sizeof message)) {
        auto cut = static_cast<int32_t>(sizeof message - sizeof kCutMark);
        U8_SET_CP_START(reinterpret_cast<const uint8_t*>(message), 0, cut);
        std::memcpy(message + cut, kCutMark, sizeof kCutMark);
    }
    va_end(args);

    if (static_cast<uint32_t>(debugLevel) > level) {
        return;
    }

    std::string stamp = oslib::FormatDate("yyyy/MM/dd HH:mm:ss", oslib::NowMillis());
    std::string text = oslib::EscapeControls(ToUtf8Text(message, std::strlen(message)));
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
