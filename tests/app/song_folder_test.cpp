// The user's song folder of an installed program, the places a program finds what it ships
// with, and the command line's folder without --dir.
#include "app/song_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/install_layout.h"
#include "app/tiny_song_files.h"
#include "support/test_support.h"

namespace vema {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A folder of installed default files with recognisable contents.
struct InstalledDefaults {
  InstalledDefaults() {
    for (const char* name : kDefaultFileNames) {
      testing::WriteAll(dir.File(name), Bytes(std::string("installed ") + name));
    }
  }
  testing::TempDir dir;
};

TEST(UserSongFolder, FollowsTheDesktopConventionsForItsPlace) {
  struct Case {
    const char* xdgDataHome;
    const char* home;
    std::optional<std::string> folder;
  };
  const Case cases[] = {
      {"/data/of/user", "/home/user", "/data/of/user/vema"},
      {"/data/of/user/", "/home/user", "/data/of/user/vema"},
      {nullptr, "/home/user", "/home/user/.local/share/vema"},
      {"", "/home/user/", "/home/user/.local/share/vema"},
      {"relative/data", "/home/user", "/home/user/.local/share/vema"},  // only absolute counts
      {nullptr, nullptr, std::nullopt},
      {nullptr, "relative", std::nullopt},
      {"", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.xdgDataHome ? c.xdgDataHome : "(unset)") + " / " +
                 (c.home ? c.home : "(unset)"));
    const std::map<std::string, const char*> env = {{"XDG_DATA_HOME", c.xdgDataHome},
                                                    {"HOME", c.home}};
    const auto lookup = [&env](const char* name) -> const char* {
      const auto it = env.find(name);
      return it == env.end() ? nullptr : it->second;
    };
    EXPECT_EQ(UserSongFolder(lookup), c.folder);
  }
}

TEST(UserSongFolder, IsMadeFromTheInstalledFilesAndKeepsWhatTheUserHas) {
  InstalledDefaults defaults;
  testing::TempDir home;
  const std::string folder = home.File("deep/below/vema");

  SongFolderSetup setup = PrepareSongFolder(folder, defaults.dir.str());
  ASSERT_TRUE(setup.ok()) << setup.path;
  EXPECT_TRUE(setup.created);
  EXPECT_EQ(setup.folder, folder);
  EXPECT_EQ(setup.copied, (std::vector<std::string>{"default.mld", "default.ton", "default.db"}));
  for (const char* name : kDefaultFileNames) {
    EXPECT_EQ(testing::ReadAll(folder + "/" + name), testing::ReadAll(defaults.dir.File(name)));
  }

  // The user's own style is kept; a default file the user lost comes back; nothing else moves.
  testing::WriteAll(folder + "/default.ton", Bytes("the user's style"));
  testing::WriteAll(folder + "/song.mid", Bytes("a song"));
  fs::remove(folder + "/default.mld");
  setup = PrepareSongFolder(folder, defaults.dir.str());
  ASSERT_TRUE(setup.ok());
  EXPECT_FALSE(setup.created);
  EXPECT_EQ(setup.copied, std::vector<std::string>{"default.mld"});
  EXPECT_EQ(testing::ReadAll(folder + "/default.ton"), Bytes("the user's style"));
  EXPECT_EQ(testing::ReadAll(folder + "/default.mld"), Bytes("installed default.mld"));
  EXPECT_EQ(testing::ReadAll(folder + "/song.mid"), Bytes("a song"));

  // A third start copies nothing.
  setup = PrepareSongFolder(folder, defaults.dir.str());
  EXPECT_TRUE(setup.ok());
  EXPECT_TRUE(setup.copied.empty());
}

TEST(UserSongFolder, ProblemsAreNamedAndNothingIsHalfMade) {
  using Problem = SongFolderSetup::Problem;
  InstalledDefaults defaults;
  testing::TempDir home;
  testing::WriteAll(home.File("file"), Bytes("not a folder"));

  // Something else stands where the folder or a folder above it should be.
  SongFolderSetup setup = PrepareSongFolder(home.File("file"), defaults.dir.str());
  EXPECT_EQ(setup.problem, Problem::kNotAFolder);
  EXPECT_EQ(setup.path, home.File("file"));
  setup = PrepareSongFolder(home.File("file/vema"), defaults.dir.str());
  EXPECT_EQ(setup.problem, Problem::kCannotCreate);
  EXPECT_EQ(setup.path, home.File("file/vema"));
  EXPECT_FALSE(setup.reason.empty());
  EXPECT_EQ(DescribeSongFolderProblem(setup),
            "the song folder " + home.File("file/vema") + " could not be created (" +
                setup.reason + "); name another folder with --dir");

  // An installed file missing: named, and the file is not made up.
  fs::remove(defaults.dir.File("default.ton"));
  setup = PrepareSongFolder(home.File("songs"), defaults.dir.str());
  EXPECT_EQ(setup.problem, Problem::kNoDefaults);
  EXPECT_EQ(setup.path, defaults.dir.File("default.ton"));
  EXPECT_FALSE(fs::exists(home.File("songs/default.ton")));
  EXPECT_NE(DescribeSongFolderProblem(setup).find("reinstall"), std::string::npos);

  // Every problem has its own sentence.
  for (const Problem problem : {Problem::kCannotCreate, Problem::kNotAFolder, Problem::kNotWritable,
                                Problem::kNoDefaults, Problem::kCannotCopy, Problem::kNoHome}) {
    SongFolderSetup failed;
    failed.problem = problem;
    failed.path = "/somewhere";
    EXPECT_FALSE(DescribeSongFolderProblem(failed).empty());
  }
}

TEST(UserSongFolder, OnlyAnInstalledProgramUsesIt) {
  InstalledDefaults defaults;
  testing::TempDir home;
  const auto env = [&home](const char* name) -> const char* {
    return std::string(name) == "HOME" ? home.path().c_str() : nullptr;
  };
  // In its build folder (no installed data) the program works in the current folder.
  SongFolderSetup setup = PrepareDefaultSongFolder(std::nullopt, env);
  EXPECT_TRUE(setup.ok());
  EXPECT_EQ(setup.folder, ".");
  EXPECT_FALSE(fs::exists(home.File(".local")));

  // Installed: PREFIX/share/vema/data holds the defaults.
  const fs::path data = home.path() / "prefix/share/vema";
  fs::create_directories(data / "data");
  for (const char* name : kDefaultFileNames) fs::copy(defaults.dir.File(name), data / "data" / name);
  setup = PrepareDefaultSongFolder(data.string(), env);
  ASSERT_TRUE(setup.ok()) << DescribeSongFolderProblem(setup);
  EXPECT_EQ(setup.folder, home.File(".local/share/vema"));
  EXPECT_EQ(testing::ReadAll(home.File(".local/share/vema/default.db")),
            Bytes("installed default.db"));

  setup = PrepareDefaultSongFolder(data.string(), [](const char*) { return nullptr; });
  EXPECT_EQ(setup.problem, SongFolderSetup::Problem::kNoHome);
}

// In the build folder the module and the help book sit beside the program, and nothing counts
// as installed data.
TEST(InstallLayout, TheBuildFolderKeepsEverythingBesideTheProgram) {
  testing::TempDir build;
  EXPECT_FALSE(InstalledDataDir(build.str()));
  EXPECT_EQ(HelpBookDir(build.str()), "");
  EXPECT_EQ(PlayerModulePath(build.str()), build.File("libvema_fluid.so"));  // named when missing
  fs::create_directories(build.path() / "help");
  testing::WriteAll(build.File("help/vema.hhp"), Bytes("[OPTIONS]"));
  testing::WriteAll(build.File("libvema_fluid.so"), Bytes("module"));
  EXPECT_EQ(HelpBookDir(build.str()), build.File("help"));
  EXPECT_EQ(PlayerModulePath(build.str()), build.File("libvema_fluid.so"));
  // The running test program's own folder is a build folder too.
  EXPECT_FALSE(InstalledDataDir());
}

// Installed, the module, the help book and the default files are found from the program's
// folder in the tree cmake --install makes; the build folder's places are not looked for there.
TEST(InstallLayout, AnInstalledProgramFindsItsFilesFromItsOwnFolder) {
  testing::TempDir prefix;
  const fs::path bin = prefix.path() / "bin";
  const fs::path data = (bin / VEMA_BIN_TO_PKGDATA).lexically_normal();
  const fs::path lib = (bin / VEMA_BIN_TO_PKGLIB).lexically_normal();
  fs::create_directories(bin);
  EXPECT_FALSE(InstalledDataDir(bin.string()));
  fs::create_directories(data / "help");
  fs::create_directories(lib);
  EXPECT_EQ(InstalledDataDir(bin.string()), data.string());
  EXPECT_EQ(InstalledDefaultsDir(data.string()), (data / "data").string());
  EXPECT_EQ(HelpBookDir(bin.string()), "");  // no book in it yet
  testing::WriteAll((data / "help/vema.hhp").string(), Bytes("[OPTIONS]"));
  EXPECT_EQ(HelpBookDir(bin.string()), (data / "help").string());
  EXPECT_EQ(PlayerModulePath(bin.string()), (bin / "libvema_fluid.so").string());  // missing
  testing::WriteAll((lib / "libvema_fluid.so").string(), Bytes("module"));
  EXPECT_EQ(PlayerModulePath(bin.string()), (lib / "libvema_fluid.so").string());
  EXPECT_FALSE(InstalledDataDir(""));
  EXPECT_EQ(HelpBookDir(""), "");
}

TEST(CliSongFolder, CommandsWithoutDirWorkInTheDefaultFolder) {
  testing::TempDir songs, elsewhere;
  testing::WriteTinyFolder(songs.str());
  int asked = 0;
  const DefaultFolder folder = [&](Platform& platform) -> std::optional<std::string> {
    ++asked;
    platform.ShowMessage("made the song folder", MessageIcon::kPlain);
    return songs.str();
  };
  testing::CliRun r = testing::RunCliWords({"compose", "--seed", "3"}, {}, folder);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(r.err.starts_with("info: made the song folder\n")) << r.err;
  EXPECT_TRUE(fs::exists(songs.File("out.mid")));
  r = testing::RunCliWords(
      {"export", "--musicxml", elsewhere.File("song.musicxml"), "--form", "0"}, {}, folder);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(fs::exists(elsewhere.File("song.musicxml")));

  // --dir wins and the default folder is not even looked at.
  testing::WriteTinyFolder(elsewhere.str());
  r = testing::RunCliWords({"compose", "--dir", elsewhere.str(), "--seed", "3"}, {}, folder);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(fs::exists(elsewhere.File("out.mid")));

  // No folder to work in: the command fails with the folder's message only.
  const DefaultFolder none = [](Platform& platform) -> std::optional<std::string> {
    platform.ShowMessage("no song folder", MessageIcon::kStop);
    return std::nullopt;
  };
  r = testing::RunCliWords({"play"}, {}, none);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: no song folder\n");

  r = testing::RunCliWords({"--version"}, {}, none);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("vema-cli ") + VersionText() + "\n");
}

}  // namespace
}  // namespace vema
