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

std::string LogFilePath() { return oslib::SupportFolder() + "Tidewell.log"; }

namespace {

// Guards appending to the log file. Lock order: the agent's _lock, then this one, never the
// reverse; nothing here calls back into the agent, so no code that holds it can take _lock.
oslib::Mutex _logLock;

// Kept open between lines: an open, a close and a sync per line cost more than a millisecond,
// and lines are written under the agent's _lock.
oslib::UniqueFd logFile GUARDED_BY(_logLock);
// Lines written since the last SyncLog.
bool syncPending GUARDED_BY(_logLock) = false;

// The log file that its path names now, `info` its status; -1 when there is none. The one
// kept open serves while its folder still holds it under that name (emptying it past the
// cap keeps it); one removed, replaced or in a folder no longer in use is let go. Anything
// but a regular file of the user's own, with one link (a symlink, a FIFO that would block
// the agent at its first line, a device, another user's file), means no file logging.
int CurrentLogFile(struct stat& info) REQUIRES(_logLock)
{
    const std::string path = LogFilePath();
    const oslib::FilePlace place = oslib::PlaceOf(path);
    struct stat named {};
    if (logFile.get() >= 0 && fstat(logFile.get(), &info) == 0 &&
        fstatat(place.folder, place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == info.st_dev &&
        named.st_ino == info.st_ino) {
        return logFile.get();
    }
    logFile = oslib::OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW, info, 0600, true);
    // It names devices by their serial numbers; a log of an earlier version may be readable by all.
    if (logFile.get() >= 0 && (info.st_mode & 077) != 0) {
        fchmod(logFile.get(), 0600);
    }
    return logFile.get();
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
    const int file = CurrentLogFile(info);
    if (file < 0) {
        return;
    }
    // Past the cap the file starts again empty; one that cannot be emptied is appended to.
    int emptied = info.st_size > kLogCap ? ftruncate(file, 0) : 0;
    (void)emptied;
    if (oslib::WriteAll(file, entry.data(), entry.size())) {
        syncPending = true;
    }
}

void SyncLog()
{
    oslib::UniqueFd file;
    {
        oslib::MutexLock guard(_logLock);
        if (!syncPending || logFile.get() < 0) {
            return;
        }
        syncPending = false;
        file.reset(fcntl(logFile.get(), F_DUPFD_CLOEXEC, 0));
    }
    // Off the lock: a line written meanwhile waits for no disk.
    if (file.get() >= 0) {
        fdatasync(file.get());
    }
}
