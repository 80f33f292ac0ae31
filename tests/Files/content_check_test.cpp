// An installed file's archive unpacked with the sum its file must have: only
// a file with that MD5 takes the old one's place.
#include "Files/archive_util.h"
#include "Files/errors.h"
#include "Files/p7z.h"
#include "Files/safe_path.h"
#include "GenH/shell.h"

using namespace arch_test;

// The MD5 of data, by the system's md5sum.
static std::string md5_of(const std::string& data) {
  write_file("sum.in", data);
  return fly_test::md5sum_of("sum.in");
}

TEST(InstallContentCheck, ZipInstallsOnlyTheFileWithItsSum) {
  g_case_sensitive = 1;
  const std::string fork = apple_double("new fork");
  // The fork entry comes first, as other tools may write it.
  py("fork = " + py_bytes(fork) + R"(
import zipfile
def mk(path, entries):
    with zipfile.ZipFile(path, 'w') as z:
        for name, data, attr in entries:
            zi = zipfile.ZipInfo(name, date_time=(2020, 5, 17, 10, 20, 30))
            zi.external_attr = attr
            zi.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(zi, data)
F, D, L = 0o100644 << 16, 0x10, 0xA1ED0000
forks = [('__MACOSX/', b'', D), ('__MACOSX/._readme.txt', fork, F)]
mk('right.zip', forks + [('readme.txt', b'new', F)])
mk('stale.zip', forks + [('readme.txt', b'stale', F)])
mk('fork_only.zip', forks)
mk('link.zip', [('lnk', b'Versions/B', L)])
)");
  write_file("out/readme.txt", "old");
  write_file("out/._readme.txt", "old fork");
  const entries before = tree("out");

  content_check check{md5_of("new"), "something"};
  EXPECT_EQ(zip_install_file("stale.zip", "out/readme.txt", &check), err_content_mismatch);
  EXPECT_EQ(check.got, md5_of("stale"));
  EXPECT_EQ(tree("out"), before);  // its fork included, no temporary left
  EXPECT_EQ(zip_install_file("fork_only.zip", "out/readme.txt", &check), err_content_mismatch);
  EXPECT_EQ(check.got, "");
  EXPECT_EQ(tree("out"), before);

  ASSERT_EQ(zip_install_file("right.zip", "out/readme.txt", &check), 0);
  EXPECT_EQ(check.got, check.want);
  EXPECT_EQ(tree("out"), entries({{"readme.txt", "f:new"}, {"._readme.txt", "f:" + fork}}));

  // A link's sum is the sum of its text.
  ASSERT_EQ(symlink("Versions/A", "out/lnk"), 0);
  content_check link{md5_of("Versions/A"), ""};
  EXPECT_EQ(zip_install_file("link.zip", "out/lnk", &link), err_content_mismatch);
  EXPECT_EQ(tree("out").at("lnk"), "l:Versions/A");
  link.want = md5_of("Versions/B");
  ASSERT_EQ(zip_install_file("link.zip", "out/lnk", &link), 0);
  EXPECT_EQ(tree("out").at("lnk"), "l:Versions/B");
}

TEST(InstallContentCheck, P7zInstallsOnlyTheFileWithItsSum) {
  g_case_sensitive = 1;
  const std::string data = pattern(300000, 5);
  write_file("src/tile.dsf", data);
  fly_test::sh("cd src && 7zz a -bd -bso0 -bsp0 ../tile.7z tile.dsf");
  write_file("out/Tile.dsf", "old tile");
  const entries before = tree("out");
  content_check check{md5_of("old tile"), ""};
  EXPECT_EQ(p7z_install_file("tile.7z", "out/Tile.dsf", &check), err_content_mismatch);
  EXPECT_EQ(check.got, md5_of(data));
  EXPECT_EQ(tree("out"), before);
  check.want = md5_of(data);
  ASSERT_EQ(p7z_install_file("tile.7z", "out/Tile.dsf", &check), 0);
  EXPECT_EQ(tree("out"), entries({{"Tile.dsf", "f:" + data}}));
}
