// Gifts: the file a sender makes and what a receiver gets from it, by the game's reader
// and by running the gift itself; hostile gifts that must install nothing wrong; a
// writer killed anywhere; the gift's file name; the dialog and the mail through the
// store room.
#include <SDL2/SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/config.h"
#include "platform/log.h"
#include "res/ini.h"
#include "res/lang.h"
#include "res/settings.h"
#include "rooms/gift/gift.h"
#include "rooms/store/storeroom.h"
#include "tests/test_box_support.h"
#include "tests/toolkit_env.h"
#include "ui/button.h"

namespace {

const char *const box_names[3] = {"Lake", "Hill", "Town"};

std::string entry(const std::string &name, const std::string &data)
{
    return "LMPF" + le32((uint32_t)name.size()) + name + le32((uint32_t)data.size()) + data;
}

// The entries of a gift behind its player, as name and data; a trailing rest that is no
// whole entry is returned under the name "?".
std::vector<std::pair<std::string, std::string>> entries_of(const std::string &gift, size_t player)
{
    std::vector<std::pair<std::string, std::string>> out;
    size_t p = player;
    auto u32 = [&](size_t at) { return (uint32_t)(uint8_t)gift[at] | (uint32_t)(uint8_t)gift[at + 1] << 8 |
                                       (uint32_t)(uint8_t)gift[at + 2] << 16 | (uint32_t)(uint8_t)gift[at + 3] << 24; };
    while (p + 8 <= gift.size() && gift.compare(p, 4, "LMPF") == 0) {
        uint32_t n = u32(p + 4), len = u32(p + 8 + n);
        out.emplace_back(gift.substr(p + 8, n), gift.substr(p + 12 + n, len));
        p += 12 + n + len;
    }
    if (p != gift.size())
        out.emplace_back("?", gift.substr(p));
    return out;
}

// The box file with its surprise record set, as a gift's surprise copy carries it.
std::string surprised(const std::string &box)
{
    write_file("surprise.tmp", box);
    EXPECT_TRUE(box_set_surprise("surprise.tmp", 1));
    std::string out = read_file("surprise.tmp");
    std::filesystem::remove("surprise.tmp");
    return out;
}

// A sender's game folder with three boxes, the player program and the present file, and
// an empty receiver's folder beside it; tests work in the sender's.
class Gift : public ::testing::Test {
protected:
    TempDir dir;
    std::string sender = dir.file("sender"), receiver = dir.file("receiver");
    std::string player = read_file(PELMORA_LOADER_EXE), boxes[3];
    std::optional<InDir> in;
    void SetUp() override
    {
        io_debug_init(0);  // no log file among the files the tests list
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        kernel_set_puzzles_folder("puzzles");
        for (const std::string &folder : {receiver, sender}) {
            std::filesystem::create_directories(folder);
            in.emplace(folder);
            make_game_folders();
        }
        write_file(GIFT_PLAYER, player);
        write_file(GIFT_PRESENT, "present");
        for (int i = 0; i < 3; i++) {
            ChunkId id = {{(uint32_t)i + 1, 2, 3, CHUNK_ID_MARK}};
            BoxInfo info = test_box_info(120 + 40 * i, 90, 30);
            std::string tail;
            if (i == 1) {
                info.has_description = 1;
                tail = box_record(BOX_TAG_DESCRIPTION, "A hill in spring");
            }
            boxes[i] = box_file(id, info, test_jpeg(120 + 40 * i, 90, i), tail);
            write_file(std::string("puzzles/") + box_names[i] + ".pzl", boxes[i]);
        }
    }
    // A gift of all three boxes at `path`.
    int make(const std::string &path, const char *name, const char *dedication, int32_t surprise)
    {
        return gift_write(path.c_str(), name, dedication, surprise, box_names, 3);
    }
};

TEST(GiftName, ComesFromTheNameTextTheFirstBoxOrPresent)
{
    const struct {
        const char *name, *first_box, *file;
    } cases[] = {
        {"Anna", "Lake", "Anna.gift"},
        {"  con ", "Lake", "con1.gift"},          // a device name of old systems is changed
        {"***", "Lake", "Lake.gift"},             // nothing usable: the first box's name
        {"***", "???", "Present.gift"},           // nor there: the fallback
        {"", "", "Present.gift"},
        {"../../etc/passwd", "Lake", "etcpasswd.gift"},  // no folder survives cleaning
        {"Anna. ", "Lake", "Anna.gift"},          // no trailing dot before the extension
    };
    for (const auto &c : cases) {
        char out[GIFT_FILE_NAME_MAX + 8];
        gift_file_name(c.name, c.first_box, out);
        EXPECT_STREQ(out, c.file) << "'" << c.name << "'";
    }
    // A long name is cut to whole characters.
    std::string long_name;
    for (int i = 0; i < 100; i++)
        long_name += "\xc3\xa9";  // é
    char out[GIFT_FILE_NAME_MAX + 8];
    gift_file_name(("x" + long_name).c_str(), "Lake", out);
    EXPECT_EQ(std::string(out), "x" + long_name.substr(0, GIFT_FILE_NAME_MAX - 2) + ".gift");
}

TEST_F(Gift, ARoundTripCarriesTheBoxesAndLeavesTheSendersFilesAlone)
{
    const std::string gift_path = dir.file("Anna.gift"), plain_path = dir.file("plain.gift");
    ASSERT_TRUE(make(gift_path, "Anna", "For you,\nwith love", 1));
    ASSERT_TRUE(make(plain_path, "", "", 0));
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(read_file(std::string("puzzles/") + box_names[i] + ".pzl"), boxes[i]) << "the sender's box is unchanged";
    EXPECT_FALSE(exists(GIFT_SCRATCH));
    struct stat st;
    ASSERT_EQ(stat(gift_path.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR) << "a gift is a program";

    // Front to back: the player unchanged, then the entries.
    std::string gift_bytes = read_file(gift_path), plain = read_file(plain_path);
    ASSERT_EQ(gift_bytes.compare(0, player.size(), player), 0);
    using Entries = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(entries_of(gift_bytes, player.size()),
              (Entries{{"name.txt", "Anna"}, {"devote.txt", "For you,\nwith love"}, {"present.bin", "present"},
                       {"Lake.pzl", surprised(boxes[0])}, {"Hill.pzl", surprised(boxes[1])},
                       {"Town.pzl", surprised(boxes[2])}}));
    EXPECT_EQ(entries_of(plain, player.size()),
              (Entries{{"present.bin", "present"}, {"Lake.pzl", boxes[0]}, {"Hill.pzl", boxes[1]},
                       {"Town.pzl", boxes[2]}}))
        << "empty texts are left out";

    // The receiver has a box of its own called Lake: the gift's goes beside it.
    in.emplace(receiver);
    const std::string own = box_file({{9, 9, 9, CHUNK_ID_MARK}}, test_box_info(100, 80, 20), test_jpeg(100, 80, 7));
    write_file("puzzles/Lake.pzl", own);
    GiftContents contents;
    ASSERT_TRUE(gift_read(gift_path.c_str(), &contents)) << gift_reason();
    EXPECT_STREQ(contents.sender, "Anna");
    EXPECT_STREQ(contents.dedication, "For you,\nwith love");
    ASSERT_EQ(contents.count, 3);
    char names[GIFT_BOXES_MAX][BOX_NAME_MAX + 1];
    ASSERT_TRUE(gift_install(gift_path.c_str(), &contents, names)) << gift_reason();
    EXPECT_STREQ(names[0], "Lake 2");
    EXPECT_EQ(read_file("puzzles/Lake.pzl"), own) << "never over the receiver's own box";
    EXPECT_EQ(read_file("puzzles/Lake 2.pzl"), surprised(boxes[0]));
    EXPECT_EQ(read_file("puzzles/Town.pzl"), surprised(boxes[2]));
    ChunkId id;
    BoxInfo info;
    ASSERT_TRUE(box_read("Hill", &id, &info, BOX_ALL_PARTS));
    EXPECT_EQ(info.surprise, 1);
    EXPECT_EQ(read_file(BOX_TEMP_DESCRIPTION), "A hill in spring");
    EXPECT_EQ(folder_listing("puzzles"), "Hill.pzl Lake 2.pzl Lake.pzl Town.pzl") << "no waiting file is left";

    // The gift run as a program on a machine with no game folder yet, with no game
    // running to hand the names to: the boxes are there for the next start.
    const std::string third = dir.file("third/game");
    std::string command = "PELMORA_HOME='" + third + "' PELMORA_SOCKET_TAG=" + unique_socket_tag() + " '" + plain_path +
                          "' --quiet > '" + dir.file("out.txt") + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(dir.file("out.txt"));
    EXPECT_EQ(folder_listing(third + "/puzzles"), "Hill.pzl Lake.pzl Town.pzl");
    EXPECT_EQ(read_file(third + "/puzzles/Hill.pzl"), boxes[1]);
    EXPECT_NE(read_file(dir.file("out.txt")).find("A gift for you"), std::string::npos);
    // A second run finds every name taken and numbers them.
    ASSERT_EQ(std::system(command.c_str()), 0) << read_file(dir.file("out.txt"));
    EXPECT_EQ(folder_listing(third + "/puzzles"), "Hill 2.pzl Hill.pzl Lake 2.pzl Lake.pzl Town 2.pzl Town.pzl");
}

TEST_F(Gift, HostileGiftsInstallNothingWrong)
{
    const std::string good = boxes[0];
    const std::string whole = player + entry("name.txt", "Eve") + entry("Good.pzl", good) + entry("Hill.pzl", boxes[1]);
    std::string lying = player + entry("Good.pzl", good);
    lying.replace(player.size() + 8 + 8, 4, le32((uint32_t)good.size() + 1000));
    std::string many = player;
    for (int i = 0; i <= GIFT_BOXES_MAX; i++)
        many += entry("b" + std::to_string(i) + ".pzl", "");
    std::string bad_elf = player;
    bad_elf[0x20] = (char)0xff;  // the program headers said to lie past the end
    bad_elf[0x27] = 0x7f;
    const struct {
        const char *what;
        std::string bytes;
        const char *installed;  // the receiver's boxes afterwards; null: the gift is refused
    } cases[] = {
        {"names that are paths, or no box names, are passed over",
         player + entry("../../x.pzl", good) + entry(dir.file("abs.pzl"), good) + entry(".pzl", good) +
             entry("C:evil.pzl", good) + entry("a\\b.pzl", good) + entry(std::string("a\x01z.pzl"), good) +
             entry(std::string("z\0.pzl", 6), good) + entry("Good.txt", good) + entry("..pzl", good) +
             entry("Good.pzl", good),
         "Good.pzl Own.pzl"},
        {"only names that are paths", player + entry("../../x.pzl", good) + entry("/x.pzl", good), nullptr},
        {"a box that is not a box, beside a good one", player + entry("Good.pzl", good) + entry("Bad.pzl", "hello"),
         nullptr},
        {"a box whose picture is cut", player + entry("Cut.pzl", good.substr(0, good.size() - 40)), nullptr},
        {"a length past the end", lying, nullptr},
        {"bytes after the last entry", whole + "xyz", nullptr},
        {"more boxes than a gift holds", many, nullptr},
        {"a program whose headers lie", bad_elf + entry("Good.pzl", good), nullptr},
        {"no program and no entry", "just some words", nullptr},
        {"an empty file", "", nullptr},
        {"a name longer than a name", player + "LMPF" + le32(100000) + std::string(200, 'a'), nullptr},
    };
    in.emplace(receiver);
    const std::string own = boxes[2];
    auto check = [&](const std::string &what, const std::string &bytes, const char *installed) {
        SCOPED_TRACE(what);
        std::filesystem::remove_all("puzzles");
        make_game_folders();
        write_file("puzzles/Own.pzl", own);
        write_file(dir.file("hostile.gift"), bytes);
        GiftContents contents;
        char names[GIFT_BOXES_MAX][BOX_NAME_MAX + 1];
        bool ok = gift_read(dir.file("hostile.gift").c_str(), &contents) &&
                  gift_install(dir.file("hostile.gift").c_str(), &contents, names);
        EXPECT_EQ(ok, installed != nullptr) << gift_reason();
        if (!ok) {
            EXPECT_STRNE(gift_reason(), "");
        }
        EXPECT_EQ(folder_listing("puzzles"), installed ? installed : "Own.pzl");
        EXPECT_EQ(read_file("puzzles/Own.pzl"), own);
        // Nothing anywhere else: the receiver's folder and the one around it hold what
        // they held.
        EXPECT_EQ(folder_listing("."), "puzzles sfiles");
        EXPECT_EQ(folder_listing(dir.path), "hostile.gift receiver sender");
        EXPECT_EQ(folder_listing("sfiles"), "qs temp");
    };
    for (const auto &c : cases)
        check(c.what, c.bytes, c.installed);
    // A gift cut anywhere in its last entry.
    for (size_t cut = whole.size() - boxes[1].size() - 14; cut < whole.size(); cut += 97)
        check("cut at byte " + std::to_string(cut), whole.substr(0, cut), nullptr);

    // Over a gigabyte of boxes, with every length backed by the file (holes on the disk).
    {
        FILE *f = fopen(dir.file("big.gift").c_str(), "wb");
        ASSERT_TRUE(f);
        std::string head = "LMPF" + le32(6) + "B1.pzl" + le32(0x30000000);
        fwrite(head.data(), 1, head.size(), f);
        fseeko(f, 0x30000000, SEEK_CUR);
        head = "LMPF" + le32(6) + "B2.pzl" + le32(0x30000000);
        fwrite(head.data(), 1, head.size(), f);
        ASSERT_EQ(ftruncate(fileno(f), ftello(f) + 0x30000000), 0);
        fclose(f);
        GiftContents contents;
        EXPECT_FALSE(gift_read(dir.file("big.gift").c_str(), &contents));
        EXPECT_NE(std::string(gift_reason()).find("larger than"), std::string::npos) << gift_reason();
        std::filesystem::remove(dir.file("big.gift"));
    }
}

TEST_F(Gift, AWriteKilledAnywhereLeavesTheOldGiftOrTheNewOne)
{
    // A small player: the kills step through every change the writer makes.
    write_file(GIFT_PLAYER, "#!/bin/sh\necho a gift\n");
    const std::string path = dir.file("Anna.gift");
    const char *one[1] = {"Lake"};
    ASSERT_TRUE(gift_write(path.c_str(), "Old", "", 0, one, 1));
    const std::string old_gift = read_file(path);
    auto work = [&] { make(path, "New", "A dedication", 1); };
    int calls = run_killed_at(0, work);
    if (calls < 0)
        GTEST_SKIP() << "the child cannot be traced here";
    const std::string new_gift = read_file(path);
    ASSERT_NE(new_gift, old_gift);
    for (int n = 1; n <= calls; n++) {
        write_file(path, old_gift);
        EXPECT_EQ(run_killed_at(n, work), n);
        std::string now = read_file(path);
        EXPECT_TRUE(now == old_gift || now == new_gift) << "killed at change " << n << " of " << calls;
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(read_file(std::string("puzzles/") + box_names[i] + ".pzl"), boxes[i]);
    }
}

TEST_F(Gift, AFailedSurpriseMarkingFailsTheGift)
{
    // The scratch file holds an earlier entry; a gift that went on after the marking
    // failed would carry those bytes under the box's name.
    write_file(GIFT_SCRATCH, "an earlier dedication");
    write_file("puzzles/Lake.pzl", box_head({{1, 2, 3, CHUNK_ID_MARK}}));  // no surprise record to mark
    const std::string path = dir.file("Anna.gift");
    EXPECT_FALSE(make(path, "Anna", "", 1));
    EXPECT_FALSE(exists(path));
    EXPECT_TRUE(make(path, "Anna", "", 0)) << "unmarked, the box goes as it is";
}

// The store room with the three boxes, for the dialog and the mail.
class GiftRoom : public ModalTest {
protected:
    std::vector<std::string> messages;
    std::string player = read_file(PELMORA_LOADER_EXE);
    std::string kept_path = getenv("PATH") ? getenv("PATH") : "";
    std::string mail_log;
    void SetUp() override
    {
        img_init(io_mem_alloc, io_mem_free, io_mem_realloc);
        make_game_folders();
        write_file(GIFT_PLAYER, player);
        std::string jpeg = test_jpeg(200, 150, 3);
        for (int i = 0; i < 3; i++)
            write_file(std::string("puzzles/") + box_names[i] + ".pzl",
                       box_file({{(uint32_t)i + 1, 0, 0, CHUNK_ID_MARK}}, test_box_info(200, 150, 25), jpeg));
        write_file("sfiles/config.ini", "[MAIN]\nSamplesInstalled=1\nGiftFolder=" + dir.path + "\n");
        // A stand-in mail program first on the PATH: it notes its arguments and exits
        // with the code the test gives it.
        mail_log = dir.file("mail.txt");
        std::filesystem::create_directory(dir.file("bin"));
        write_file(dir.file("bin/xdg-email"),
                   "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> '" + mail_log + "'; done\nexit ${MAIL_EXIT:-0}\n");
        chmod(dir.file("bin/xdg-email").c_str(), 0755);
        setenv("PATH", (dir.file("bin") + ":" + kept_path).c_str(), 1);
        ModalTest::SetUp();
        io_debug_init(0);  // no log file among the files the tests list
        message_log(&messages);
        for (ShelfBox *box = shelf.head; box; box = box->next)
            box->selected = strcmp(box->name, "Town") != 0;
        storeroom_count_selection();
    }
    void TearDown() override
    {
        message_log(nullptr);
        setenv("PATH", kept_path.c_str(), 1);
        unsetenv("MAIL_EXIT");
        ModalTest::TearDown();
    }
    // The point in the middle of a control of the gift dialog.
    static void control_point(int32_t control, int32_t *x, int32_t *y)
    {
        int32_t w, h;
        window_screen_position(control, x, y);
        window_size(control, &w, &h);
        *x += w / 2;
        *y += h / 2;
    }
    static void press_control(int32_t control)
    {
        int32_t x, y;
        control_point(control, &x, &y);
        push_click(x, y);
    }
};

TEST_F(GiftRoom, TheDialogSavesTheSelectedBoxesUnderTheNameGiven)
{
    // Cancel makes nothing.
    EXPECT_EQ(run_modal({[] { push_text("Nobody"); }, [] { press_control(gift.cancel_button); }},
                        [] {
                            storeroom_gift_selected();
                            return gift.result;
                        }),
              GIFT_CANCEL);
    EXPECT_EQ(folder_listing(dir.path), "bin data.pck puzzles sfiles");

    int32_t wx, wy;
    window_screen_position(gift.window, &wx, &wy);
    EXPECT_EQ(run_modal({[] { push_text("Anna"); },
                         [&] { push_click(wx + 20, wy + 100); },  // into the dedication
                         [] { push_text("Happy birthday"); },
                         [] { press_control(gift.surprise_box); },
                         [] { press_control(gift.save_button); },
                         [] { push_key(SDLK_RETURN); }},  // the offered name, in the folder last used
                        [] {
                            storeroom_gift_selected();
                            return gift.result;
                        }),
              GIFT_SAVE);
    EXPECT_EQ(gift.surprise, 0);
    GiftContents contents;
    ASSERT_TRUE(gift_read(dir.file("Anna.gift").c_str(), &contents)) << gift_reason();
    EXPECT_STREQ(contents.sender, "Anna");
    EXPECT_STREQ(contents.dedication, "Happy birthday");
    ASSERT_EQ(contents.count, 2);
    std::string gift_bytes = read_file(dir.file("Anna.gift"));
    auto entries = entries_of(gift_bytes, player.size());
    EXPECT_EQ(entries.back().second, read_file("puzzles/" + std::string(contents.boxes[1].name) + ".pzl"))
        << "not a surprise: the box as it is";
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(button_enabled(gift.mail_button)) << "the stand-in mail program is on the PATH";
}

TEST_F(GiftRoom, MailTakesTheGiftAndAFailedSendSaysWhy)
{
    auto send = [] {
        return run_modal({[] { push_text("Anna \"$(touch x)\""); }, [] { press_control(gift.mail_button); }},
                         [] {
                             storeroom_gift_selected();
                             return gift.result;
                         });
    };
    ASSERT_EQ(send(), GIFT_MAIL);
    std::string args = read_file(mail_log);
    EXPECT_EQ(args.substr(0, args.find("--attach")), "--subject\nAnna \"$(touch x)\"\n") << "the subject as typed";
    std::string attachment = args.substr(args.find("--attach\n") + 9);
    attachment.pop_back();
    EXPECT_NE(attachment.find("/Anna $(touch x).gift"), std::string::npos) << attachment;
    GiftContents contents;
    EXPECT_TRUE(gift_read(attachment.c_str(), &contents)) << "the attachment waits for the mail program";
    EXPECT_FALSE(exists("x"));
    EXPECT_TRUE(messages.empty());

    // Cancelled in the mail program: the player reads why, and the file goes.
    std::filesystem::remove(mail_log);
    setenv("MAIL_EXIT", "1", 1);
    messages.clear();
    ASSERT_EQ(run_modal({[] { push_text("Bo"); }, [] { press_control(gift.mail_button); },
                         [] { push_key(SDLK_RETURN); }},
                        [] {
                            storeroom_gift_selected();
                            return gift.result;
                        }),
              GIFT_MAIL);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::string("One or more unspecified errors occurred. No message was sent.\nResult code:2\n\n") +
                               lt_get(185));
    args = read_file(mail_log);
    attachment = args.substr(args.find("--attach\n") + 9);
    attachment.pop_back();
    EXPECT_FALSE(exists(attachment));
}

TEST_F(GiftRoom, NoBoxSelectedAsksForOne)
{
    for (ShelfBox *box = shelf.head; box; box = box->next)
        box->selected = 0;
    storeroom_count_selection();
    run_modal({[] { push_key(SDLK_RETURN); }}, [] {
        storeroom_gift_selected();
        return 0;
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], lt_get(152));
}

}  // namespace
