#include "platform/posix/settings_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/posix/settings_text.h"

namespace util {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now and reports whether the close worked (the last write error may show here).
    bool close() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkdir -p, new folders private to the user.
bool makeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    if (errno != ENOENT) {
        return false;
    }
    const std::string parent = parentOf(folder);
    if (parent != folder && !makeFolders(parent)) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A symbolic link to the settings file (a dotfiles set-up) keeps pointing at the real file.
std::string resolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

enum class Load { Read, Missing, Failed };

std::string errorText(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "permission denied";
        case ENOTDIR:
            return "a folder on its path is a file";
        default:
            return std::strerror(error);
    }
}

// `why` says what kept a failed load from reading the file.
Load loadFile(const std::string& path, std::string& text, std::string& why) {
    // Non-blocking so that a FIFO or a device named by mistake cannot hang the caller.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        why = errorText(errno);
        return errno == ENOENT ? Load::Missing : Load::Failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        why = errorText(errno);
        return Load::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? "is a folder, not a file" : "is not a regular file";
        return Load::Failed;
    }
    why = "larger than 1 MiB: not a settings file";
    if (st.st_size > kMaxSettingsFileSize) {
        return Load::Failed;
    }
    text.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            why = errorText(errno);
            return Load::Failed;
        }
        if (n == 0) {
            why.clear();
            return Load::Read;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(kMaxSettingsFileSize)) {
            return Load::Failed;
        }
    }
}

Load loadFile(const std::string& path, std::string& text) {
    std::string why;
    return loadFile(path, text, why);
}

// Writes `text` as the new content of `target` in one step.
bool replaceFile(const std::string& target, const std::string& text) {
    const std::string folder = parentOf(target);
    std::string temp = folder + "/." + baseNameOf(target) + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return false;
    }
    const bool written = ::fchmod(fd.get(), 0600) == 0 && writeAll(fd.get(), text) &&
                         ::fsync(fd.get()) == 0 && fd.close();
    if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself survives a crash only once the folder is on disk.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
    return true;
}

constexpr char kNewFileHeader[] =
    "# Pelmora settings. Name=Value; strings in double quotes with \\\\ \\\" \\n \\r \\t \\xHH.";

}  // namespace

FileSettingsStore::FileSettingsStore(std::string path) : m_path(std::move(path)) {}

std::optional<std::string> FileSettingsStore::readText() const {
    std::string text;
    if (loadFile(m_path, text) != Load::Read) {
        return std::nullopt;
    }
    return text;
}

std::string FileSettingsStore::readProblem() {
    std::string text;
    std::string why;
    switch (loadFile(m_path, text, why)) {
        case Load::Missing:
            return {};
        case Load::Failed:
            return m_path + ": " + why;
        case Load::Read:
            break;
    }
    // A line the file's form cannot hold may be the one that names the device.
    if (const std::optional<std::size_t> line = settings_text::firstMalformedLine(text)) {
        return m_path + ": line " + std::to_string(*line) + " is not a setting (Name=Value)";
    }
    return {};
}

std::string FileSettingsStore::writeProblem() {
    std::lock_guard<std::mutex> guard(m_writeMutex);
    return m_writeProblem;
}

std::optional<vantel::VLString> FileSettingsStore::readString(const vantel::VLString& section,
                                                              const vantel::VLString& name) {
    const std::optional<std::string> text = section.isEmpty() ? readText() : std::nullopt;
    if (!text) {
        return std::nullopt;
    }
    std::optional<std::string> value =
        settings_text::findString(settings_text::parse(*text), name.bytes());
    if (!value) {
        return std::nullopt;
    }
    return vantel::VLString(std::move(*value));
}

std::optional<std::int32_t> FileSettingsStore::readInteger(const vantel::VLString& section,
                                                           const vantel::VLString& name) {
    const std::optional<std::string> text = section.isEmpty() ? readText() : std::nullopt;
    if (!text) {
        return std::nullopt;
    }
    return settings_text::findInteger(settings_text::parse(*text), name.bytes());
}

template <typename Change>
void FileSettingsStore::update(const vantel::VLString& section, const Change& change) {
    if (!section.isEmpty()) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_writeMutex);
    const std::string target = resolveTarget(m_path);
    const std::string folder = parentOf(target);
    if (!makeFolders(folder)) {
        m_writeProblem = folder + ": cannot make the folder: " + errorText(errno);
        return;
    }
    // Serialises writers in other processes too (the tray program and the daemon side by side);
    // the lock goes with the descriptor.
    FileDescriptor folderLock(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderLock.get() >= 0) {
        while (::flock(folderLock.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }

    std::string text;
    std::string why;
    settings_text::Document document;
    switch (loadFile(target, text, why)) {
        case Load::Read:
            document = settings_text::parse(text);
            break;
        case Load::Missing:
            document.lines.push_back({settings_text::Line::Kind::Other, kNewFileHeader, "", ""});
            break;
        case Load::Failed:
            // Rewriting a file we could not read would throw its other lines away.
            m_writeProblem = target + ": " + why + " (left as it is)";
            return;
    }
    m_writeProblem.clear();
    if (!change(document)) {
        return;
    }
    if (!replaceFile(target, settings_text::render(document))) {
        m_writeProblem = target + ": cannot write it: " + errorText(errno);
    }
}

void FileSettingsStore::writeString(const vantel::VLString& section, const vantel::VLString& name,
                                    const vantel::VLString& value) {
    update(section, [&](settings_text::Document& document) {
        return settings_text::setString(document, name.bytes(), value.bytes());
    });
}

void FileSettingsStore::writeInteger(const vantel::VLString& section, const vantel::VLString& name,
                                     std::int32_t value) {
    update(section, [&](settings_text::Document& document) {
        return settings_text::setInteger(document, name.bytes(), value);
    });
}

std::string settingsFilePath(const char* overridePath, const char* xdgConfigHome, const char* home,
                             const std::string& company, const std::string& product) {
    if (overridePath != nullptr && overridePath[0] != '\0') {
        return overridePath;
    }
    const std::string relative = "/" + company + "/" + product + ".conf";
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
        return xdgConfigHome + relative;
    }
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config" + relative;
    }
    return "";
}

std::unique_ptr<SettingsStore> makeUserSettingsStore(const vantel::VLString& company,
                                                     const vantel::VLString& product) {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    const std::string path =
        settingsFilePath(std::getenv("PELMORA_CONFIG"), std::getenv("XDG_CONFIG_HOME"), home,
                         company.bytes(), product.bytes());
    if (path.empty()) {
        // Nowhere to keep them: settings last as long as the process.
        return std::make_unique<MemorySettingsStore>();
    }
    return std::make_unique<FileSettingsStore>(path);
}

}  // namespace util
