#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/posix/settings_file.h"
#include "platform/posix/settings_text.h"
#include "posix/temp_dir.h"
#include "settings/scanner_settings.h"

using testutil::TempDir;
using vantel::VLString;

namespace {

std::string everyByte(bool withNul) {
    std::string s;
    for (int b = withNul ? 0 : 1; b <= 0xFF; ++b) {
        s += static_cast<char>(b);
    }
    return s;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

}  // namespace

// ---- the text form ----

TEST(SettingsText, EveryByteOfAStringRoundTripsOnOneLine) {
    // NUL too: the store keeps whatever bytes it is given (a device name with a NUL simply
    // fails to open later).
    for (bool withNul : {false, true}) {
        const std::string value = everyByte(withNul);
        settings_text::Document document;
        ASSERT_TRUE(settings_text::setString(document, "DeviceName", value));
        const std::string text = settings_text::render(document);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "one line per value";
        EXPECT_EQ(settings_text::findString(settings_text::parse(text), "DeviceName"), value);
    }
}

TEST(SettingsText, Utf8StaysReadableOtherHighBytesAreEscaped) {
    const std::string utf8 = "/dev/serial/by-id/usb-Caf\xC3\xA9-if00";
    EXPECT_EQ(settings_text::quote(utf8), "\"" + utf8 + "\"");
    EXPECT_EQ(settings_text::quote("a\xE9z\x01\x7F\"\\"), "\"a\\xE9z\\x01\\x7F\\\"\\\\\"");
    EXPECT_EQ(settings_text::unquote(settings_text::quote("\xC3")), "\xC3");  // truncated UTF-8
}

TEST(SettingsText, OnlyACleanDecimalIntegerReadsAsAnInteger) {
    const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
        {"X=9600", 9600},
        {"X=-1", -1},
        {"X = 7 ", 7},
        {"X=00012", 12},
        {"X=\"7\"", 7},  // the text counts, not how it was quoted
        {"X=2147483647", 2147483647},
        {"X=-2147483648", INT32_MIN},
        {"X=2147483648", std::nullopt},
        {"X=99999999999999999999", std::nullopt},
        {"X=+5", std::nullopt},
        {"X=5 # comment", std::nullopt},
        {"X=0x10", std::nullopt},
        {"X=1 2", std::nullopt},
        {"X=", std::nullopt},
        {"X=-", std::nullopt},
        {"X=\"\"", std::nullopt},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(settings_text::findInteger(settings_text::parse(line), "X"), expected) << line;
    }
    // A string written as one reads back as a string even when it looks like a number.
    settings_text::Document document;
    settings_text::setString(document, "X", "0012");
    EXPECT_EQ(settings_text::findString(settings_text::parse(settings_text::render(document)), "X"),
              "0012");
}

TEST(SettingsText, BadLinesReadAsAbsentAndSurviveWrites) {
    using namespace std::string_literals;
    const std::string text =
        "# comment\n"
        "\n"
        "garbage without equals\n"
        "DeviceName=\"unterminated\n"
        "Bad Name=1\n"
        "Escape=\"\\q\"\n"
        "Hex=\"\\x4\"\n"
        "Inner=\"a\"b\"\n"
        "Bare=/dev/ttyUSB0 \r\n"
        "BaudRate=1200\n"
        "BaudRate=19200\r\n"
        "=5\n"
        "\xFF\xFE\x00junk"s;
    settings_text::Document document = settings_text::parse(text);
    for (const char* name : {"DeviceName", "Escape", "Hex", "Inner", "Bad Name", "Bad"}) {
        EXPECT_FALSE(settings_text::findString(document, name).has_value()) << name;
    }
    EXPECT_EQ(settings_text::findString(document, "Bare"), "/dev/ttyUSB0");
    EXPECT_EQ(settings_text::findInteger(document, "BaudRate"), 19200) << "the last line counts";

    settings_text::setInteger(document, "BaudRate", 9600);
    settings_text::setString(document, "DeviceName", "COM2");
    const std::string written = settings_text::render(document);
    for (const char* kept :
         {"garbage without equals\n", "DeviceName=\"unterminated\n", "Bad Name=1\n",
          "Escape=\"\\q\"\n", "Inner=\"a\"b\"\n", "BaudRate=1200\n", "=5\n", "# comment\n\n"}) {
        EXPECT_NE(written.find(kept), std::string::npos) << kept;
    }
    EXPECT_NE(written.find("\xFF\xFE\x00junk\n"s), std::string::npos);
    EXPECT_EQ(written.find("19200"), std::string::npos) << "the line that counted was replaced";
    const settings_text::Document again = settings_text::parse(written);
    EXPECT_EQ(settings_text::findInteger(again, "BaudRate"), 9600);
    EXPECT_EQ(settings_text::findString(again, "DeviceName"), "COM2");
    EXPECT_EQ(again.lines.size(), document.lines.size());
}

TEST(SettingsText, InvalidNamesAreNeverWritten) {
    settings_text::Document document;
    for (const char* name : {"", "a=b", "a b", "a\nb", "#x", "x\"", "\xC3\xA9"}) {
        EXPECT_FALSE(settings_text::setString(document, name, "v")) << name;
        EXPECT_FALSE(settings_text::setInteger(document, name, 1)) << name;
    }
    EXPECT_TRUE(document.lines.empty());
}

// ---- the file ----

TEST(SettingsFile, MissingFileReadsAbsentAndAWriteCreatesAPrivateFileInNewFolders) {
    TempDir dir;
    const std::string path = dir / "a/b/Pelmora.conf";
    util::FileSettingsStore store(path);
    EXPECT_FALSE(store.readString("", "DeviceName").has_value());
    EXPECT_FALSE(store.readInteger("", "BaudRate").has_value());

    store.writeString("", "DeviceName", "/dev/ttyACM0");
    store.writeInteger("", "BaudRate", 115200);
    EXPECT_EQ(modeOf(dir / "a") & 0077, 0u);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_STREQ(*store.readString("", "DeviceName"), "/dev/ttyACM0");
    EXPECT_EQ(store.readInteger("", "BaudRate"), 115200);
    // A value read with the other pair is absent, not misread.
    EXPECT_FALSE(store.readInteger("", "DeviceName").has_value());
    // Another store on the same file (another process) sees the same values.
    EXPECT_EQ(util::FileSettingsStore(path).readInteger("", "BaudRate"), 115200);
    // No temporary file is left behind.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "a/b")) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(SettingsFile, EveryByteOfADeviceNameRoundTripsThroughTheFile) {
    TempDir dir;
    util::FileSettingsStore store(dir / "Pelmora.conf");
    const std::string value = everyByte(true);
    store.writeString("", "DeviceName", VLString(value));
    store.writeInteger("", "bCTS", 1);  // a second write re-reads and rewrites the first value
    EXPECT_EQ(store.readString("", "DeviceName")->bytes(), value);
}

TEST(SettingsFile, GarbageTruncatedAndOddFilesNeverStopTheProgram) {
    TempDir dir;
    const std::string path = dir / "Pelmora.conf";
    util::FileSettingsStore store(path);

    std::string garbage;
    for (int i = 0; i < 5000; ++i) {
        garbage += static_cast<char>((i * 7919) & 0xFF);
    }
    testutil::writeAll(path, "BaudRate=2400\n" + garbage + "\nbCTS=1\nDeviceName=\"/dev/tty");
    EXPECT_EQ(store.readInteger("", "BaudRate"), 2400);
    EXPECT_EQ(store.readInteger("", "bCTS"), 1);
    EXPECT_FALSE(store.readString("", "DeviceName").has_value()) << "truncated: the default";
    // ...and that is never taken for the user's choice: the file is named as unreadable.
    EXPECT_EQ(store.readProblem().rfind(path + ": line 2 is not a setting", 0), 0u)
        << store.readProblem();

    // A write keeps every line it does not own, garbage included.
    store.writeInteger("", "Parity", 2);
    const std::string after = testutil::readAll(path);
    EXPECT_NE(after.find(garbage), std::string::npos);
    EXPECT_NE(after.find("DeviceName=\"/dev/tty\n"), std::string::npos);
    EXPECT_EQ(store.readInteger("", "Parity"), 2);
    EXPECT_EQ(store.readInteger("", "BaudRate"), 2400);

    // Something that is not a regular file: read as empty at once (no hang on a FIFO), never
    // replaced.
    for (const char* kind : {"fifo", "folder"}) {
        const std::string odd = dir / kind;
        ASSERT_EQ(
            std::string(kind) == "fifo" ? ::mkfifo(odd.c_str(), 0600) : ::mkdir(odd.c_str(), 0700),
            0);
        util::FileSettingsStore oddStore(odd);
        EXPECT_FALSE(oddStore.readInteger("", "BaudRate").has_value()) << kind;
        oddStore.writeInteger("", "BaudRate", 1);
        struct stat st {};
        ASSERT_EQ(::lstat(odd.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode) || S_ISDIR(st.st_mode)) << kind << " was replaced";
        const std::string why =
            std::string(kind) == "fifo" ? ": is not a regular file" : ": is a folder, not a file";
        EXPECT_EQ(oddStore.readProblem(), odd + why);
        EXPECT_EQ(oddStore.writeProblem(), odd + why + " (left as it is)");
    }

    // A file too large to be settings is neither read nor replaced.
    const std::string big = dir / "big.conf";
    testutil::writeAll(big, "BaudRate=300\n" + std::string(util::kMaxSettingsFileSize, '#'));
    util::FileSettingsStore bigStore(big);
    EXPECT_FALSE(bigStore.readInteger("", "BaudRate").has_value());
    bigStore.writeInteger("", "BaudRate", 1);
    EXPECT_EQ(testutil::readAll(big).size(), util::kMaxSettingsFileSize + 13u);
    EXPECT_EQ(bigStore.readProblem(), big + ": larger than 1 MiB: not a settings file");

    // Comments, blank lines and CR LF line ends are a readable file; a missing one has nothing
    // to read, and a write that worked clears the last write's problem.
    testutil::writeAll(path, "# made by hand\r\n\r\n \t\nBaudRate=1200\r\n");
    EXPECT_EQ(store.readProblem(), "");
    util::FileSettingsStore missing(dir / "none/Pelmora.conf");
    EXPECT_EQ(missing.readProblem(), "");
    bigStore.writeInteger("", "BaudRate", 1);
    ASSERT_NE(bigStore.writeProblem(), "");
    ::unlink(big.c_str());
    bigStore.writeInteger("", "BaudRate", 1);
    EXPECT_EQ(bigStore.writeProblem(), "");
}

TEST(SettingsFile, OnlyTheApplicationsOwnSectionIsStored) {
    TempDir dir;
    util::FileSettingsStore store(dir / "Pelmora.conf");
    store.writeInteger("Other", "BaudRate", 1);
    store.writeInteger("", "BaudRate", 2);
    EXPECT_FALSE(store.readInteger("Other", "BaudRate").has_value());
    EXPECT_EQ(store.readInteger("", "BaudRate"), 2);
}

TEST(SettingsFile, ALinkedFileIsUpdatedWhereItLives) {
    TempDir dir;
    const std::string real = dir / "real.conf";
    const std::string link = dir / "Pelmora.conf";
    testutil::writeAll(real, "# mine\n");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    util::FileSettingsStore store(link);
    store.writeInteger("", "BaudRate", 4800);
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(testutil::readAll(real), "# mine\nBaudRate=4800\n");
}

TEST(SettingsFile, ReadersNeverSeeAPartialFileAndWritersLoseNoUpdate) {
    TempDir dir;
    const std::string path = dir / "Pelmora.conf";
    // Values large enough that a non-atomic write would be caught half way.
    const std::string a(20000, 'a');
    const std::string b(30000, 'b');
    util::FileSettingsStore writer(path);
    writer.writeString("", "DeviceName", VLString(a));

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        util::FileSettingsStore store(path);
        while (!done.load()) {
            const std::optional<VLString> v = store.readString("", "DeviceName");
            if (!v || (v->bytes() != a && v->bytes() != b)) {
                ++bad;
            }
            ++reads;
        }
    });
    // A second writer with its own store, as another process would have.
    std::thread otherWriter([&] {
        util::FileSettingsStore store(path);
        for (int i = 1; i <= 40; ++i) {
            store.writeInteger("", "Counter", i);
        }
    });
    for (int i = 0; i < 40; ++i) {
        writer.writeString("", "DeviceName", VLString(i % 2 == 0 ? b : a));
        writer.writeInteger("", "Mine", i);
    }
    otherWriter.join();
    while (reads.load() < 50) {
        std::this_thread::yield();
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " reads";
    EXPECT_EQ(writer.readInteger("", "Counter"), 40);
    EXPECT_EQ(writer.readInteger("", "Mine"), 39);
}

TEST(SettingsFile, TheEnvironmentChoosesTheFile) {
    EXPECT_EQ(util::settingsFilePath("/tmp/x.conf", "/xdg", "/home/u", "Vantel", "Pelmora"),
              "/tmp/x.conf");
    EXPECT_EQ(util::settingsFilePath("", "/xdg", "/home/u", "Vantel", "Pelmora"),
              "/xdg/Vantel/Pelmora.conf");
    EXPECT_EQ(util::settingsFilePath(nullptr, "relative", "/home/u", "Vantel", "Pelmora"),
              "/home/u/.config/Vantel/Pelmora.conf");
    EXPECT_EQ(util::settingsFilePath(nullptr, nullptr, "/home/u", "Vantel", "Pelmora"),
              "/home/u/.config/Vantel/Pelmora.conf");
    EXPECT_EQ(util::settingsFilePath(nullptr, nullptr, nullptr, "Vantel", "Pelmora"), "");

    // Through the program's own settings calls.
    TempDir dir;
    const std::string path = dir / "my.conf";
    ASSERT_EQ(::setenv("PELMORA_CONFIG", path.c_str(), 1), 0);
    theConfig.setStore(util::makeUserSettingsStore("Vantel", "Pelmora"));
    EXPECT_STREQ(readSetting(ScannerSettings::DeviceName), "COM1");
    writeSetting(ScannerSettings::DeviceName, "/dev/ttyUSB1");
    writeSetting(ScannerSettings::bCRLF, 0);
    EXPECT_STREQ(readSetting(ScannerSettings::DeviceName), "/dev/ttyUSB1");
    EXPECT_EQ(readSetting(ScannerSettings::bCRLF), 0);
    EXPECT_EQ(readSetting(ScannerSettings::bCTS), 0);
    EXPECT_NE(testutil::readAll(path).find("DeviceName=\"/dev/ttyUSB1\"\nbCRLF=0\n"),
              std::string::npos);
    theConfig.setStore(std::make_shared<util::MemorySettingsStore>());
    ::unsetenv("PELMORA_CONFIG");
}
