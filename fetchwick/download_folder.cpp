#include "download_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include "oslib/user_folders.h"

namespace fetchwick {

namespace {

constexpr size_t kMaxNameBytes = 200;  // with room for " (999)" below NAME_MAX

std::string PercentDecoded(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        int high = i + 2 < text.size() && text[i] == '%' ? g_ascii_xdigit_value(text[i + 1]) : -1;
        int low = high >= 0 ? g_ascii_xdigit_value(text[i + 2]) : -1;
        if (low >= 0) {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// "fw.bin" numbered 2 is "fw (2).bin"; a name without an extension gets the number at its end.
std::string NumberedName(const std::string& name, int number)
{
    if (number == 1) {
        return name;
    }
    size_t dot = name.rfind('.');
    dot = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, dot) + " (" + std::to_string(number) + ")" + name.substr(dot);
}

std::string Reason(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

} // namespace

std::string DownloadFolder()
{
    const char* xdg = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    std::string folder = xdg != nullptr ? xdg : oslib::HomeFolder() + "/Downloads";
    g_mkdir_with_parents(folder.c_str(), 0700);
    return folder;
}

std::string PackageFileName(const std::string& url)
{
    size_t scheme = url.find("://");
    size_t path = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    size_t end = url.find_first_of("?#", path == std::string::npos ? url.size() : path);
    std::string segment = path == std::string::npos ? "" : url.substr(path, end == std::string::npos ? end : end - path);
    segment = PercentDecoded(segment.substr(segment.rfind('/') + 1));
    std::string name;
    for (char c : segment) {
        auto byte = static_cast<unsigned char>(c);
        name.push_back(byte < 0x20 || byte == 0x7F || c == '/' ? '_' : c);
    }
    name.erase(0, name.find_first_not_of('.'));
    if (name.size() > kMaxNameBytes) {
        const char* cut = g_utf8_find_prev_char(name.c_str(), name.c_str() + kMaxNameBytes + 1);
        name.resize(cut != nullptr ? static_cast<size_t>(cut - name.c_str()) : 0);
    }
    if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) {
        gchar* valid = g_utf8_make_valid(name.data(), static_cast<gssize>(name.size()));
        name = valid;
        g_free(valid);
    }
    return name.empty() ? "package" : name;
}

std::unique_ptr<DownloadFile> DownloadFile::Create(const std::string& folder, std::string& error)
{
    std::unique_ptr<DownloadFile> file(new DownloadFile(folder));
    file->fd_.reset(open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644));
    if (file->fd_.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
        std::string pattern = folder + "/.fetchwick-XXXXXX";
        file->fd_.reset(mkostemp(pattern.data(), O_CLOEXEC));
        file->hidden_ = file->fd_.get() >= 0 ? pattern : "";
    }
    if (file->fd_.get() < 0) {
        error = Reason(("the download folder " + folder + " takes no file").c_str(), errno);
        return nullptr;
    }
    return file;
}

DownloadFile::~DownloadFile()
{
    if (!hidden_.empty()) {
        unlink(hidden_.c_str());
    }
}

bool DownloadFile::Write(const char* data, size_t size) { return oslib::WriteAll(fd_.get(), data, size); }

std::string DownloadFile::Place(const std::string& name, std::string& error)
{
    if (fsync(fd_.get()) != 0) {
        error = Reason("the file could not be saved", errno);
        return "";
    }
    // A nameless file is linked through its descriptor's entry in /proc, which needs no
    // privilege; link(2) fails on a name that is taken.
    std::string from = hidden_.empty() ? "/proc/self/fd/" + std::to_string(fd_.get()) : hidden_;
    for (int number = 1; number < 1000; ++number) {
        std::string path = folder_ + "/" + NumberedName(name, number);
        if (linkat(AT_FDCWD, from.c_str(), AT_FDCWD, path.c_str(), hidden_.empty() ? AT_SYMLINK_FOLLOW : 0) == 0) {
            return path;
        }
        if (errno != EEXIST) {
            error = Reason("the file could not be saved", errno);
            return "";
        }
    }
    error = "the download folder holds " + name + " and 998 numbered copies of it";
    return "";
}

} // namespace fetchwick
