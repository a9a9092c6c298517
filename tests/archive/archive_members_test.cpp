// The member names an archive's central directory gives, and the ones Windows cannot hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "archive/archive_members.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

void Put(std::string& out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>(i < 8 ? value >> (8 * i) & 0xFF : 0);
}

// A stored archive of empty members, each name with its general-purpose flags.
std::string Archive(const std::vector<std::pair<std::string, uint16_t>>& members) {
  std::string local, central;
  for (const auto& [name, flags] : members) {
    const size_t offset = local.size();
    Put(local, 0x04034b50, 4), Put(local, 20, 2), Put(local, flags, 2), Put(local, 0, 18);
    Put(local, name.size(), 2), Put(local, 0, 2), local += name;
    Put(central, 0x02014b50, 4), Put(central, 20, 2), Put(central, 20, 2), Put(central, flags, 2);
    Put(central, 0, 18), Put(central, name.size(), 2), Put(central, 0, 12);
    Put(central, offset, 4), central += name;
  }
  std::string end;
  Put(end, 0x06054b50, 4), Put(end, 0, 4), Put(end, members.size(), 2), Put(end, members.size(), 2);
  Put(end, central.size(), 4), Put(end, local.size(), 4), Put(end, 0, 2);
  return local + central + end;
}

// Names without the UTF-8 flag are in the OEM code page (437 here, 850 on a French
// Windows: both put É at 0x90 and é at 0x82), as the library reads them; so a name
// written by MS-DOS meets its UTF-8 namesake, which Windows would hold as one file.
TEST(ArchiveMembers, NamesComeFromTheCentralDirectoryAsTheLibraryReadsThem) {
  const fs::path path = fs::temp_directory_path() / ("kvx-members-" + std::to_string(getpid()) + ".zip");
  std::ofstream(path, std::ios::binary) << Archive({{"FIC01/CLIENTS.FIC", 0}, {"\xC3\x89T\xC3\x89.FIC", 0x0800},
                                                    {"\x82t\x82.fic", 0}, {"\xCE\xA9.FIC", 0x0800}});
  ArchiveDirectory directory;
  std::string error;
  ASSERT_TRUE(ReadArchiveDirectory(path, directory, error));
  ASSERT_TRUE(directory.IsHere());
  Names names;
  for (const ArchiveMember& member : directory.members) names.push_back(member.name);
  EXPECT_EQ(names, (Names{"FIC01/CLIENTS.FIC", "\xC3\x89T\xC3\x89.FIC", "\xC3\xA9t\xC3\xA9.fic", "\xCE\xA9.FIC"}));
  EXPECT_EQ(NamesWindowsCannotHold(names), Names{"\xE9t\xE9.fic (même nom que \xC9T\xC9.FIC)"});
  std::ofstream(path, std::ios::binary) << "PK\x03\x04 not an archive";
  EXPECT_TRUE(ReadArchiveDirectory(path, directory, error));
  EXPECT_FALSE(directory.IsHere());
  fs::remove(path);
}

TEST(ArchiveMembers, NamesWindowsCannotHoldAreEachListed) {
  const struct {
    Names names;
    Names refused;
  } cases[] = {
      {{"CLIENTS.FIC", "IMAGES/LOGO.BMP", "IMAGES/", "COM10.FIC", "NULLE.FIC", ".profil", "A..B/..C", "./",
        "./B.FIC"},
       {}},
      // Names that lead out of the folder, or stay in place, whatever the library makes of them.
      {{"../A.FIC", "IMAGES\\..\\..\\A.FIC", "./../A.FIC", "IMAGES/./A.FIC", "...", " /A.FIC", "IMAGES/. ./A.FIC"},
       {"../A.FIC (remonte hors du dossier)", "IMAGES\\..\\..\\A.FIC (remonte hors du dossier)",
        "./../A.FIC (remonte hors du dossier)", "IMAGES/./A.FIC (nom fait de points ou d'espaces)",
        "... (nom fait de points ou d'espaces)",
        " /A.FIC (nom fait de points ou d'espaces)", "IMAGES/. ./A.FIC (nom fait de points ou d'espaces)"}},
      {{"/A.FIC", "\\A.FIC", "\\\\SERVEUR\\PARTAGE\\A.FIC", "C:A.FIC", "c:/A.FIC", "IMAGES/C:A.FIC"},
       {"/A.FIC (chemin absolu)", "\\A.FIC (chemin absolu)", "\\\\SERVEUR\\PARTAGE\\A.FIC (chemin absolu)",
        "C:A.FIC (chemin absolu)", "c:/A.FIC (chemin absolu)", "IMAGES/C:A.FIC (caractère interdit)"}},
      {{"NUL", "IMAGES/con.bmp", "AUX.FIC", "COM1", "lpt9.txt", "PRN .TXT"},
       {"NUL (nom réservé)", "IMAGES/con.bmp (nom réservé)", "AUX.FIC (nom réservé)", "COM1 (nom réservé)",
        "lpt9.txt (nom réservé)", "PRN .TXT (nom réservé)"}},
      {{"NOTE.", "DOSSIER./A.FIC", "B.FIC "}, {"NOTE. (point ou espace final)", "DOSSIER./A.FIC (point ou espace final)",
                                               "B.FIC  (point ou espace final)"}},
      {{"?.FIC", "A<B.FIC"}, {"?.FIC (caractère interdit)", "A<B.FIC (caractère interdit)"}},
      {{"CLIENTS.FIC", "clients.fic", "Images/A", "IMAGES/a", "\xC3\x89T\xC3\x89.FIC", "\xC3\xA9t\xC3\xA9.fic"},
       {"clients.fic (même nom que CLIENTS.FIC)", "IMAGES/a (même nom que Images/A)",
        "\xE9t\xE9.fic (même nom que \xC9T\xC9.FIC)"}},
      // Capitals beyond French ones meet their small letters as well, and only those the file system joins.
      {{"\xC5\x92UVRE.FIC", "\xC5\x93uvre.fic", "\xC5\x81\xC3\x93\x44\xC5\xB9/A", "\xC5\x82\xC3\xB3\x64\xC5\xBA/a",
        "\xC4\xB0.FIC", "i.fic", "\xC3\x9F.FIC", "SS.FIC", "\xD0\x94.txt", "\xD0\xB4.txt"},
       {"\x9Cuvre.fic (même nom que \x8CUVRE.FIC)", "?\xF3" "d?/a (même nom que ?\xD3" "D?/A)", "?.txt (même nom que ?.txt)"}},
      // Names outside Windows-1252 are held by Windows and meet no other.
      {{"\xE6\x97\xA5\xE6\x9C\xAC.txt", "\xE8\xAA\x9E.txt", "\xD0\x94.txt"}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(NamesWindowsCannotHold(c.names), c.refused) << c.names[0];
}

TEST(ArchiveMembers, RootEntriesAreTheFirstParts) {
  EXPECT_EQ(RootEntries({"FIC01/", "FIC01/A.FIC", "FIC01/SUB/B.FIC"}), Names{"FIC01"});
  EXPECT_EQ(RootEntries({"A.FIC", "IMAGES/LOGO.BMP", "IMAGES/X.BMP"}), (Names{"A.FIC", "IMAGES"}));
  EXPECT_EQ(RootEntries({"./", "./A.FIC", "./IMAGES/LOGO.BMP"}), (Names{"A.FIC", "IMAGES"}));
}

}  // namespace
}  // namespace kvx
