// Where a package goes: the user's download folder, under a name of the package's own,
// never over an existing file, and only once it is complete.
#pragma once

#include <memory>
#include <string>

#include "oslib/descriptors.h"

namespace fetchwick {

// The XDG download folder, else home + "/Downloads"; created when missing.
std::string DownloadFolder();

// The last segment of the URL's path, percent-decoded, as a name that stays in the folder
// and shows: no "/", control character or ill-formed UTF-8, no leading point, at most 200
// bytes; "package" when nothing is left.
std::string PackageFileName(const std::string& url);

// The file of one download: nameless while it is written, so that a cancelled or failed
// download leaves nothing behind.
class DownloadFile {
public:
    // A file in `folder` without a name (O_TMPFILE), or where the file system has no such
    // files a hidden one that is removed unless Place succeeds. Null, with the reason in
    // `error`, when the folder takes no file.
    static std::unique_ptr<DownloadFile> Create(const std::string& folder, std::string& error);
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    bool Write(const char* data, size_t size);

    // Syncs the file and gives it `name` in the folder, or "name (2)", "name (3)" and so
    // on before the extension while a name is taken: never over an existing file. The
    // full path, or empty with the reason in `error`. Call once.
    std::string Place(const std::string& name, std::string& error);

private:
    explicit DownloadFile(std::string folder) : folder_(std::move(folder)) {}

    std::string folder_;
    oslib::UniqueFd fd_;
    std::string hidden_;  // the hidden file's path; empty for a nameless one
};

} // namespace fetchwick
