// Removing the product's folder depth first: the log, the outcome, the questions and what is never touched.
#include <gtest/gtest.h>

#include "files/application_folder.h"
#include "files/folder_removal.h"
#include "platform/simulated/simulation.h"
#include "tests/host/program.h"

namespace {

const char* const testLog = "C:\\users\\test\\Temp\\removal.log";
using Lines = std::vector<std::string>;

class Removal : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        log = sim::logStream(testLog);
        ASSERT_NE(log, nullptr);
        confirmEachDeletion = false;
        protectedPlace = true;  // the default place, below Program Files
    }
    void TearDown() override {
        EXPECT_EQ(sim::openSearches(), 0);
        sim::closeOpenStreams();
    }

    RemovalOutcome remove(const std::string& folder) { return removeFolder(folder.c_str(), log); }
    Lines logged() {
        sim::closeOpenStreams();
        return lines(sim::fileContent(testLog));
    }
    // The first text argument of every call of function, in order.
    static Lines pathsOf(const std::string& function) {
        Lines paths;
        for (const sim::Call& call : sim::calls())
            if (call.function == function && !call.args.empty()) paths.push_back(call.args[0]);
        return paths;
    }
    static Lines questions() {
        Lines texts;
        for (const sim::Box& box : sim::boxes()) {
            EXPECT_EQ(box.style, 0x24u);
            texts.push_back(box.text);
        }
        return texts;
    }

    FILE* log = nullptr;
};

TEST_F(Removal, AnEmptyFolderIsDeleted) {
    sim::addFolder("C:\\app");
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_FALSE(sim::exists("C:\\app"));
    EXPECT_EQ(logged(), Lines{"Directory C:\\app deleted"});
}

TEST_F(Removal, EachFolderIsLoggedAfterItsContents) {
    sim::addFile("C:\\app\\a.txt");
    sim::addFile("C:\\app\\sub\\b.txt");
    sim::addFile("C:\\app\\sub\\deeper\\c.txt");
    sim::addFolder("C:\\app\\sub\\empty");
    sim::addFile("C:\\app\\z.txt");
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_FALSE(sim::exists("C:\\app"));
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\a.txt deleted", "File C:\\app\\sub\\b.txt deleted",
                               "File C:\\app\\sub\\deeper\\c.txt deleted", "Directory C:\\app\\sub\\deeper deleted",
                               "Directory C:\\app\\sub\\empty deleted", "Directory C:\\app\\sub deleted",
                               "File C:\\app\\z.txt deleted", "Directory C:\\app deleted"}));
    EXPECT_TRUE(sim::pendingDeletes().empty());
}

TEST_F(Removal, ReadOnlyHiddenAndSystemEntriesLoseThoseBitsAndAreDeleted) {
    sim::addFile("C:\\app\\ro.dll", "", FILE_ATTRIBUTE_READONLY);
    sim::addFile("C:\\app\\hidden.dat", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    sim::addFile("C:\\app\\all.sys", "", 0x27);
    sim::addFolder("C:\\app\\rodir", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    sim::addFolder("C:\\app", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(remove("C:\\app"), RebootRequired);  // the folder itself waits for the restart
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\ro.dll deleted", "File C:\\app\\hidden.dat deleted",
                               "File C:\\app\\all.sys deleted", "Directory C:\\app\\rodir deleted",
                               "Directory C:\\app will be deleted on the next reboot"}));
    std::vector<Lines> written;
    for (const sim::Call& call : sim::calls())
        if (call.function == "SetFileAttributesA") written.push_back(call.args);
    // The folder passed in keeps its own attributes: it is not one of its entries.
    EXPECT_EQ(written, (std::vector<Lines>{{"C:\\app\\ro.dll", "0x0"},
                                           {"C:\\app\\hidden.dat", "0x20"},
                                           {"C:\\app\\all.sys", "0x20"},
                                           {"C:\\app\\rodir", "0x10"}}));
}

TEST_F(Removal, NamesBeginningWithAFullStopAreRemovedLikeAnyOther) {
    sim::addFile("C:\\app\\.settings");
    sim::addFile("C:\\app\\.cache\\blob");
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\.settings deleted", "File C:\\app\\.cache\\blob deleted",
                               "Directory C:\\app\\.cache deleted", "Directory C:\\app deleted"}));
}

TEST_F(Removal, AFolderGoneBeforeItIsListedNeedsNothingMore) {
    for (const bool ninetyEight : {false, true}) {
        if (ninetyEight) sim::useWindows98();
        EXPECT_EQ(remove("C:\\missing"), AllRemoved);
    }
    EXPECT_EQ(logged(), Lines(2, "Directory C:\\missing was already gone"));
}

TEST_F(Removal, AFolderThatCannotBeListedIsLeftAndSaidSo) {
    sim::addFile("C:\\app\\a");
    sim::addFile("C:\\app\\b");
    sim::failFunctionCall("FindFirstFileA", 1);
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    sim::failFunctionCall("FindNextFileA", 3);  // ".", "..", "a" are listed, then the listing fails
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    EXPECT_EQ(logged(), (Lines{"Directory C:\\app could not be listed", "File C:\\app\\a deleted",
                               "Directory C:\\app could not be listed"}));
    EXPECT_EQ(sim::tree("C:\\app"), Lines{"C:\\app\\b"});
}

TEST_F(Removal, EveryEntryIsAskedAboutByItsKindButNotTheFolderItself) {
    confirmEachDeletion = true;
    sim::addFile("C:\\app\\a.txt");
    sim::addFile("C:\\app\\sub\\b.txt");
    sim::answer({IDYES, IDYES, IDYES});
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(questions(), (Lines{"Delete file C:\\app\\a.txt?", "Delete directory C:\\app\\sub?",
                                  "Delete file C:\\app\\sub\\b.txt?"}));
    EXPECT_EQ(sim::boxes()[0].caption, "Quenderholt Pelvane: Uninstallation Cleanup");
    EXPECT_FALSE(sim::exists("C:\\app"));
}

TEST_F(Removal, AKeptFileKeepsEveryFolderAboveItEvenBesideFilesLeftForTheRestart) {
    confirmEachDeletion = true;
    sim::addFile("C:\\app\\first.dll");
    sim::addFile("C:\\app\\sub\\keep.txt");
    sim::addFile("C:\\app\\sub\\other.txt");
    sim::addFile("C:\\app\\late\\last.dll");
    sim::lockFile("C:\\app\\first.dll");
    sim::lockFile("C:\\app\\late\\last.dll");
    sim::answer({IDYES, IDYES, IDNO, IDYES, IDYES, IDYES});
    EXPECT_EQ(remove("C:\\app"), Retained);
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\first.dll will be deleted on the next reboot",
                               "File C:\\app\\sub\\other.txt deleted", "Directory C:\\app\\sub will not be deleted",
                               "File C:\\app\\late\\last.dll will be deleted on the next reboot",
                               "Directory C:\\app\\late will be deleted on the next reboot",
                               "Directory C:\\app will not be deleted"}));
    EXPECT_EQ(sim::pendingDeletes(), (Lines{"C:\\app\\first.dll", "C:\\app\\late\\last.dll", "C:\\app\\late"}));
    EXPECT_TRUE(sim::exists("C:\\app\\sub\\keep.txt"));
    EXPECT_EQ(sim::attributesOf("C:\\app\\sub\\keep.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(Removal, AKeptFolderIsNeitherOpenedNorChanged) {
    confirmEachDeletion = true;
    sim::addFile("C:\\app\\sub\\inner.txt", "", FILE_ATTRIBUTE_READONLY);
    sim::addFile("C:\\app\\sub\\deep\\x");
    sim::addFolder("C:\\app\\sub", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    const Lines before = sim::tree("C:\\app\\sub");
    sim::answer({IDNO, IDYES, IDYES});
    EXPECT_EQ(remove("C:\\app"), Retained);
    EXPECT_EQ(questions(), Lines{"Delete directory C:\\app\\sub?"});
    EXPECT_EQ(logged(), Lines{"Directory C:\\app will not be deleted"});
    EXPECT_EQ(sim::tree("C:\\app\\sub"), before);
    EXPECT_EQ(sim::attributesOf("C:\\app\\sub"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(pathsOf("FindFirstFileA"), Lines{"C:\\app\\*.*"});
    EXPECT_EQ(pathsOf("CreateFileA"), Lines{"C:\\app"});
}

TEST_F(Removal, ALockedFileAndItsFolderAreRegisteredForTheRestart) {
    sim::addFile("C:\\app\\pelvane32.dll");
    sim::lockFile("C:\\app\\pelvane32.dll");
    EXPECT_EQ(remove("C:\\app"), RebootRequired);
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\pelvane32.dll will be deleted on the next reboot",
                               "Directory C:\\app will be deleted on the next reboot"}));
    EXPECT_EQ(sim::pendingDeletes(), (Lines{"C:\\app\\pelvane32.dll", "C:\\app"}));
    EXPECT_EQ(pathsOf("RemoveDirectoryA"), Lines{});  // a folder waiting for a file is not tried now
}

TEST_F(Removal, OnThe98FamilyTheRestartGoesThroughWininit) {
    sim::useWindows98();
    sim::addFile("C:\\Program Files\\Pelvane\\pelvane32.dll");
    sim::lockFile("C:\\Program Files\\Pelvane\\pelvane32.dll");
    EXPECT_EQ(remove("C:\\Program Files\\Pelvane"), RebootRequired);
    EXPECT_EQ(logged(), (Lines{"File C:\\Program Files\\Pelvane\\pelvane32.dll will be deleted on the next reboot",
                               "Directory C:\\Program Files\\Pelvane will be deleted on the next reboot"}));
    EXPECT_EQ(sim::fileContent("C:\\windows\\WININIT.INI"),
              "[rename]\r\nNUL=C:\\PROGRA~1\\PELVANE\\PELVAN~1.DLL\r\nNUL=C:\\PROGRA~1\\PELVANE\r\n");
    EXPECT_TRUE(sim::pendingDeletes().empty());
}

TEST_F(Removal, ARegistrationThePlatformRefusesIsLoggedAsSuchAndLeavesTheFileBehind) {
    sim::addFile("C:\\app\\pelvane32.dll");
    sim::lockFile("C:\\app\\pelvane32.dll");
    sim::failFunction("MoveFileExA");
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\pelvane32.dll could not be deleted", "Directory C:\\app not deleted: it is not empty"}));
}

TEST_F(Removal, AFileThatVanishesBeforeItsDeletionNeedsNoRestart) {
    sim::addFile("C:\\app\\gone.tmp");
    sim::vanishAfterAttributeRead("C:\\app\\gone.tmp");
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\gone.tmp was already gone", "Directory C:\\app deleted"}));
    EXPECT_TRUE(sim::pendingDeletes().empty());
}

TEST_F(Removal, AnEntryThatCannotBeLookedUpIsNeitherAskedAboutNorWrittenTo) {
    confirmEachDeletion = true;
    sim::addFile("C:\\app\\odd.bin", "", FILE_ATTRIBUTE_READONLY);
    sim::hideAttributes("C:\\app\\odd.bin");
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    EXPECT_TRUE(questions().empty());
    EXPECT_EQ(logged(), (Lines{"Entry C:\\app\\odd.bin not deleted: it cannot be reached by its name",
                               "Directory C:\\app not deleted: it is not empty"}));
    EXPECT_EQ(sim::callsOf("SetFileAttributesA"), 0);
    EXPECT_TRUE(sim::exists("C:\\app\\odd.bin"));
}

// ---- Links to other folders.

class LinkRemoval : public Removal {
protected:
    void SetUp() override {
        Removal::SetUp();
        sim::addFile("C:\\Target\\precious.doc");
        sim::addFile("C:\\Target\\sub\\more.doc", "", FILE_ATTRIBUTE_READONLY);
        sim::addLink("C:\\app\\link", "C:\\Target");
        targetBefore = sim::tree("C:\\Target");
    }
    void expectTargetUntouched() {
        EXPECT_EQ(sim::tree("C:\\Target"), targetBefore);
        EXPECT_EQ(sim::attributesOf("C:\\Target\\sub\\more.doc"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        for (const sim::Call& call : sim::calls())
            for (const std::string& arg : call.args)
                EXPECT_EQ(arg.rfind("C:\\app\\link\\", 0), std::string::npos) << call.function << " " << arg;
    }
    Lines targetBefore;
};

TEST_F(LinkRemoval, TheLinkItselfIsRemovedAndNeverFollowed) {
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(logged(), (Lines{"Directory C:\\app\\link deleted", "Directory C:\\app deleted"}));
    expectTargetUntouched();
}

TEST_F(LinkRemoval, ALinkThatCannotBeRemovedWaitsForTheRestart) {
    sim::failLinkRemoval("C:\\app\\link");
    EXPECT_EQ(remove("C:\\app"), RebootRequired);
    EXPECT_EQ(logged(), (Lines{"Directory C:\\app\\link will be deleted on the next reboot",
                               "Directory C:\\app will be deleted on the next reboot"}));
    EXPECT_EQ(sim::pendingDeletes(), (Lines{"C:\\app\\link", "C:\\app"}));
    expectTargetUntouched();
}

TEST_F(LinkRemoval, TheLinksAttributesAreNotWrittenSinceThatCanReachItsTarget) {
    sim::addFile("C:\\app\\readonly.dll", "", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(pathsOf("SetFileAttributesA"), Lines{"C:\\app\\readonly.dll"});
    expectTargetUntouched();
}

TEST_F(LinkRemoval, OnlyTheLinkIsAskedAbout) {
    confirmEachDeletion = true;
    sim::answer({IDYES, IDYES, IDYES});
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(questions(), Lines{"Delete directory C:\\app\\link?"});
    expectTargetUntouched();
}

// ---- What waits for the restart, which deletes by path, as the system, long after the run.

// A file that cannot be deleted now: moved aside into a folder of the run's own where it can be (a running program),
// registered in place only where no one else can change the folders on its path, else left and said so; a file a
// scanner holds, sharing its deletion, is deleted and stays listed until let go, and its folder waits for the restart.
// After the run the subfolder is swapped for a link to a victim, which no one but an administrator could do in the
// protected place; then the holders let go and the system restarts: the summary's promise holds, nothing outside
// changed.
TEST_F(Removal, WhatWaitsForTheRestartIsMovedAsideOrLeftWhereItsPathIsSafe) {
    const std::string file = "C:\\app\\sub\\pv.dll";
    const struct {
        const char* what;
        void (*hold)(const std::string&);
        bool protectedPlace;
        RemovalOutcome outcome;
        Lines log, pending, afterRestart;
    } cases[] = {
        {"a running program, outside Program Files", sim::runAsProgram, false, RebootRequired,
         {"File " + file + " moved to C:\\Pelvane Cleanup 2\\1, to be deleted on the next reboot", "Directory C:\\app\\sub deleted",
          "Directory C:\\app deleted", "Directory C:\\Pelvane Cleanup 2 will be deleted on the next reboot"},
         {"C:\\Pelvane Cleanup 2\\1", "C:\\Pelvane Cleanup 2"}, {}},
        {"held without sharing its deletion, outside Program Files", sim::lockFile, false, LeftBehind,
         {"File " + file + " not deleted: it is in use, and its path could be changed before a restart",
          "Directory C:\\app\\sub not deleted: it is not empty", "Directory C:\\app not deleted: it is not empty"},
         {}, {"C:\\app", "C:\\app\\sub"}},
        {"held by a scanner, at the default place", sim::holdSharingDeletion, true, RebootRequired,
         {"File " + file + " deleted", "File " + file + " is held open by another program: it goes when that program lets go of it",
          "Directory C:\\app\\sub will be deleted on the next reboot", "Directory C:\\app will be deleted on the next reboot"},
         {"C:\\app\\sub", "C:\\app"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::reset();
        log = sim::logStream(testLog);
        protectedPlace = c.protectedPlace;
        sim::addFile("C:\\Pelvane Cleanup 1\\someone else's.txt");  // a name taken before the run is never used
        sim::addFile("C:\\victim\\precious.doc");
        sim::addFile(file);
        c.hold(file);
        EXPECT_EQ(remove("C:\\app"), c.outcome);
        EXPECT_EQ(logged(), c.log);
        EXPECT_EQ(sim::pendingDeletes(), c.pending);
        EXPECT_EQ(sim::exists("C:\\Pelvane Cleanup 2") && sim::hasOwnAccessList("C:\\Pelvane Cleanup 2"),
                  c.hold == sim::runAsProgram);
        if (sim::exists("C:\\app\\sub")) sim::replaceByLink("C:\\app\\sub", "C:\\victim");
        sim::letGo(file);
        sim::restart();
        Lines left = sim::exists("C:\\app") ? sim::tree("C:\\app") : Lines{};
        if (sim::exists("C:\\app")) left.insert(left.begin(), "C:\\app");
        EXPECT_EQ(left, c.afterRestart);
        EXPECT_EQ(sim::tree("C:\\victim"), Lines{"C:\\victim\\precious.doc"});
        EXPECT_EQ(sim::tree("C:\\Pelvane Cleanup 1"), Lines{"C:\\Pelvane Cleanup 1\\someone else's.txt"});
        EXPECT_FALSE(sim::exists("C:\\Pelvane Cleanup 2"));
    }
}

// ---- Names the code page does not hold, names the path calls change, and folders swapped while asked about.

TEST_F(Removal, EachEntryIsReachedOnlyByAPathThatLeadsToItOrLeftAndLogged) {
    const std::string fullWidthBackslash = "\xEF\xBC\xBC";  // U+FF3C, listed as a backslash
    const std::string climbing = "x" + fullWidthBackslash + ".." + fullWidthBackslash + ".." + fullWidthBackslash + "victim";
    struct Name {
        std::string real, listed, alias;
    };
    const struct {
        const char* what;
        std::vector<Name> names;
        DWORD version;
        RemovalOutcome outcome;
        Lines log;
    } cases[] = {
        {"climbing name, reached by its short name", {{climbing, "x\\..\\..\\victim", "X__~1"}}, 0x1DB10106, AllRemoved,
         {"File C:\\app\\X__~1 deleted", "Directory C:\\app deleted"}},
        // Each judged by the folder's next listing, which serves them all.
        {"climbing names without a short name", {{climbing, "x\\..\\..\\victim", ""}, {climbing + "2", "x\\..\\..\\victim2", ""}},
         0x1DB10106, LeftBehind,
         {"Entry C:\\app\\x\\..\\..\\victim not deleted: it cannot be reached by its name",
          "Entry C:\\app\\x\\..\\..\\victim2 not deleted: it cannot be reached by its name",
          "Directory C:\\app not deleted: it is not empty"}},
        // Listed first, the converted name reaches the other entry, which goes (it is in the folder too), and no
        // path reaches that one when its own turn comes; the folder, not empty yet, is listed again: the converted
        // entry, which shares its listed name, goes by its short name, and the other, no longer listed, was gone.
        {"a name converted onto another entry's", {{"\xC4\x81sub", "asub", "_SUB~1"}, {"asub", "", ""}}, 0x1DB10106,
         AllRemoved,
         {"File C:\\app\\asub deleted", "File C:\\app\\_SUB~1 deleted", "File C:\\app\\asub was already gone",
          "Directory C:\\app deleted"}},
        {"another entry's name, listed after it", {{"asub", "", ""}, {"\xC4\x81sub", "asub", "_SUB~1"}}, 0x1DB10106,
         AllRemoved, {"File C:\\app\\asub deleted", "File C:\\app\\_SUB~1 deleted", "Directory C:\\app deleted"}},
        {"a name converted onto none", {{"\xC4\x81sub", "asub", ""}}, 0x1DB10106, LeftBehind,
         {"Entry C:\\app\\asub not deleted: it cannot be reached by its name", "Directory C:\\app not deleted: it is not empty"}},
        {"characters outside the code page", {{"\xE4\xB8\xAD.pvk", "?.pvk", "__~1.PVK"}}, 0x1DB10106, AllRemoved,
         {"File C:\\app\\__~1.PVK deleted", "Directory C:\\app deleted"}},
        {"trailing dot and space, device names, taken literally",
         {{"trail.", "", ""}, {"sp ", "", ""}, {"con", "", ""}, {"lpt1.log", "", ""}}, 0x1DB10106, AllRemoved,
         {"File C:\\app\\trail. deleted", "File C:\\app\\sp  deleted", "File C:\\app\\con deleted",
          "File C:\\app\\lpt1.log deleted", "Directory C:\\app deleted"}},
        {"trailing dot on the 95/98/Me family", {{"trail.", "", "TRAIL~1"}, {"aux", "", ""}}, 0xC0000A04, LeftBehind,
         {"File C:\\app\\TRAIL~1 deleted", "Entry C:\\app\\aux not deleted: it cannot be reached by its name",
          "Directory C:\\app not deleted: it is not empty"}},
        // Full-width full stops are listed as "." and "..", beside the folder's own, which have no short name.
        {"names converted into dot names", {{"\xEF\xBC\x8E", ".", "_~~~~DMB"}, {"\xEF\xBC\x8E\xEF\xBC\x8E", "..", "__~~~YY0"}},
         0x1DB10106, AllRemoved,
         {"File C:\\app\\_~~~~DMB deleted", "File C:\\app\\__~~~YY0 deleted", "Directory C:\\app deleted"}},
        {"a dot name without a short name", {{"\xEF\xBC\x8E\xEF\xBC\x8E", "..", ""}}, 0xC0000A04, LeftBehind,
         {"Directory C:\\app not deleted: it is not empty"}},
        {"a control character", {{"a\nFile C: deleted", "", ""}}, 0x1DB10106, LeftBehind,
         {"Entry C:\\app\\a?File C: deleted not deleted: it cannot be reached by its name",
          "Directory C:\\app not deleted: it is not empty"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::reset();
        log = sim::logStream(testLog);
        sim::addFile("C:\\victim\\precious.doc", "keep", FILE_ATTRIBUTE_READONLY);
        sim::addFolder("C:\\app");
        for (const Name& name : c.names) {
            sim::addFile("C:\\app\\" + name.real);
            if (!name.listed.empty()) sim::setListedName("\\\\?\\C:\\app\\" + name.real, name.listed);
            if (!name.alias.empty()) sim::setShortName("\\\\?\\C:\\app\\" + name.real, name.alias);
        }
        if (c.version & 0x80000000u) sim::useWindows98();
        EXPECT_EQ(remove("C:\\app"), c.outcome);
        EXPECT_EQ(logged(), c.log);
        EXPECT_EQ(sim::tree("C:\\victim"), Lines{"C:\\victim\\precious.doc"});
        EXPECT_EQ(sim::attributesOf("C:\\victim\\precious.doc"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        EXPECT_TRUE(sim::pendingDeletes().empty());
        EXPECT_EQ(sim::openFileHandles(), 0);
        EXPECT_LE(sim::callsOf("FindFirstFileA"), 2);  // no entry costs a listing of its own
    }
}

TEST_F(Removal, AFolderSwappedForALinkWhileItsQuestionIsOpenIsRemovedAsALink) {
    confirmEachDeletion = true;
    sim::addFile("C:\\victim\\precious.doc", "", FILE_ATTRIBUTE_HIDDEN);
    sim::addFolder("C:\\app\\sub", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    sim::addFile("C:\\app\\sub\\f.txt");
    sim::whenAsked([] { sim::replaceByLink("C:\\app\\sub", "C:\\victim"); });
    sim::answer({IDYES});
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(logged(), (Lines{"Directory C:\\app\\sub deleted", "Directory C:\\app deleted"}));
    EXPECT_EQ(sim::tree("C:\\victim"), Lines{"C:\\victim\\precious.doc"});
    EXPECT_EQ(sim::attributesOf("C:\\victim\\precious.doc"), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(sim::callsOf("SetFileAttributesA"), 0);
}

// What no listing showed keeps a folder from going: it is listed again, and what it holds then is taken like any
// entry; the restart is asked for only when all that stays is registered for it.
TEST_F(Removal, EntriesThatComeOrGoWhileAQuestionIsOpenAreTakenAsTheyAre) {
    confirmEachDeletion = true;
    sim::addFile("C:\\app\\in use.dll");
    sim::addFile("C:\\app\\a.txt");
    sim::addFile("C:\\app\\b.txt");
    sim::lockFile("C:\\app\\in use.dll");
    sim::whenAsked([] {
        sim::addFile("C:\\app\\new.txt");
        EXPECT_TRUE(DeleteFileA("C:\\app\\b.txt"));
    });
    sim::answer({IDYES, IDYES, IDYES});
    EXPECT_EQ(remove("C:\\app"), RebootRequired);
    EXPECT_EQ(questions(), (Lines{"Delete file C:\\app\\in use.dll?", "Delete file C:\\app\\a.txt?",
                                  "Delete file C:\\app\\new.txt?"}));
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\in use.dll will be deleted on the next reboot", "File C:\\app\\a.txt deleted",
                               "File C:\\app\\new.txt deleted", "File C:\\app\\b.txt was already gone",
                               "Directory C:\\app will be deleted on the next reboot"}));
    EXPECT_EQ(sim::pendingDeletes(), (Lines{"C:\\app\\in use.dll", "C:\\app"}));
}

TEST_F(Removal, AFolderThatStaysNotEmptyIsLeftAndSaidSo) {
    sim::addFile("C:\\app\\sub\\unseen");
    sim::hideFromListing("C:\\app\\sub\\unseen");
    sim::addFile("C:\\Target\\precious.doc");
    sim::addLink("C:\\app\\link", "C:\\Target");
    sim::failLinkRemoval("C:\\app\\link", ERROR_DIR_NOT_EMPTY);  // a system that follows the link to remove it
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    EXPECT_EQ(logged(), (Lines{"Directory C:\\app\\sub not deleted: it is not empty",
                               "Directory C:\\app\\link not deleted: it is not empty",
                               "Directory C:\\app not deleted: it is not empty"}));
    EXPECT_TRUE(sim::pendingDeletes().empty());
    EXPECT_EQ(sim::callsOf("FindFirstFileA"), 3);  // the emptied folder is listed once more, to no end
}

// A folder remembers every entry it took, however many: all that waits for the restart is told from anything new.
TEST_F(Removal, AFolderOfManyFilesLeftForTheRestartIsRegisteredAfterThem) {
    for (int i = 0; i < 300; ++i) {
        sim::addFile("C:\\app\\f" + std::to_string(i));
        sim::lockFile("C:\\app\\f" + std::to_string(i));
    }
    EXPECT_EQ(remove("C:\\app"), RebootRequired);
    const Lines log = logged();
    ASSERT_EQ(log.size(), 301u);
    EXPECT_EQ(log.back(), "Directory C:\\app will be deleted on the next reboot");
    EXPECT_EQ(sim::pendingDeletes().size(), 301u);
    EXPECT_EQ(sim::callsOf("FindFirstFileA"), 2);
}

TEST_F(Removal, AFileWithOtherNamesKeepsItsSharedAttributes) {
    sim::addFile("C:\\app\\hidden.pvk", "", FILE_ATTRIBUTE_HIDDEN);
    sim::addFile("C:\\app\\readonly.pvk", "", FILE_ATTRIBUTE_READONLY);
    sim::giveOtherNames("C:\\app\\hidden.pvk");
    sim::giveOtherNames("C:\\app\\readonly.pvk");
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\hidden.pvk deleted", "File C:\\app\\readonly.pvk could not be deleted",
                               "Directory C:\\app not deleted: it is not empty"}));
    EXPECT_EQ(sim::callsOf("SetFileAttributesA"), 0);
    EXPECT_EQ(sim::openFileHandles(), 0);
}

TEST_F(Removal, ADoubleByteNameEndingInByte5CIsJoinedByCharacters) {
    sim::setCodePage(932);
    const std::string name = "\x88\xea\x97\x97\x95\x5c";  // its last byte is the second half of a character
    sim::addFile("C:\\app\\" + name + "\\f.txt");
    EXPECT_EQ(remove("C:\\app"), AllRemoved);
    EXPECT_EQ(logged(), (Lines{"File C:\\app\\" + name + "\\f.txt deleted", "Directory C:\\app\\" + name + " deleted",
                               "Directory C:\\app deleted"}));
}

// ---- Paths at the length limit and deep trees.

TEST_F(Removal, AnEntryWhosePathDoesNotFitIsLeftAndKeepsTheFoldersAbove) {
    const std::string folder = "C:\\app\\" + std::string(192, 'f');  // 199 characters
    const std::string fits = folder + "\\" + std::string(59, 'a');   // 259
    const std::string over = folder + "\\" + std::string(60, 'b');   // 260
    sim::addFile(fits);
    sim::addFile(over);
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    EXPECT_EQ(logged(), (Lines{"File " + fits + " deleted", "Entry " + over + " not deleted: path too long",
                               "Directory " + folder + " not deleted: it is not empty",
                               "Directory C:\\app not deleted: it is not empty"}));
    EXPECT_FALSE(sim::exists(fits));
    EXPECT_EQ(sim::tree(folder), Lines{over});
    for (const sim::Call& call : sim::calls())
        for (const std::string& arg : call.args) EXPECT_NE(arg, over) << call.function;
}

TEST_F(Removal, AFolderWhoseListingPatternDoesNotFitIsLeft) {
    const std::string fits = "C:\\app\\" + std::string(248, 'e');    // 255: its pattern takes 259
    const std::string over = "C:\\app\\" + std::string(249, 'o');    // 256: its pattern would take 260
    sim::addFile(fits + "\\x");
    sim::addFile(over + "\\y");
    EXPECT_EQ(remove("C:\\app"), LeftBehind);
    EXPECT_EQ(logged(), (Lines{"File " + fits + "\\x deleted", "Directory " + fits + " deleted",
                               "Directory " + over + " not deleted: path too long",
                               "Directory C:\\app not deleted: it is not empty"}));
    EXPECT_TRUE(sim::exists(over + "\\y"));
}

TEST_F(Removal, AHundredLevelsAreRemovedInnermostFirst) {
    std::string path = "C:\\deep";
    Lines folders{path};
    for (int level = 0; level < 100; ++level) folders.push_back(path += "\\d");
    sim::addFile(path + "\\leaf.txt");
    sim::addFile("C:\\deep\\side.txt");
    EXPECT_EQ(remove("C:\\deep"), AllRemoved);
    const Lines log = logged();
    ASSERT_EQ(log.size(), 103u);
    EXPECT_EQ(log[0], "File " + path + "\\leaf.txt deleted");
    for (size_t i = 1; i <= 100; ++i) EXPECT_EQ(log[i], "Directory " + folders[101 - i] + " deleted");
    EXPECT_EQ(log[101], "File C:\\deep\\side.txt deleted");
    EXPECT_EQ(log[102], "Directory C:\\deep deleted");
    EXPECT_FALSE(sim::exists("C:\\deep"));
}

TEST_F(Removal, AFileLockedAHundredLevelsDownHoldsEveryFolderAboveForTheRestart) {
    std::string path = "C:\\deep";
    for (int level = 0; level < 100; ++level) path += "\\d";
    sim::addFile(path + "\\leaf.txt");
    sim::lockFile(path + "\\leaf.txt");
    EXPECT_EQ(remove("C:\\deep"), RebootRequired);
    const Lines pending = sim::pendingDeletes();
    ASSERT_EQ(pending.size(), 102u);
    EXPECT_EQ(pending.front(), path + "\\leaf.txt");
    EXPECT_EQ(pending.back(), "C:\\deep");
    EXPECT_EQ(logged().back(), "Directory C:\\deep will be deleted on the next reboot");
}

// ---- Nothing outside the folder.

TEST_F(Removal, NothingOutsideTheFolderIsTouched) {
    sim::addFile("C:\\app\\a.dll");
    sim::addFile("C:\\app\\.dot");
    sim::addFile("C:\\app\\locked.dll");
    sim::lockFile("C:\\app\\locked.dll");
    sim::addFile("C:\\app\\sub\\b.dll", "", FILE_ATTRIBUTE_READONLY);
    sim::addLink("C:\\app\\sub\\out", "C:\\app2");
    sim::addFile("C:\\app2\\neighbour.dll", "", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    sim::addFile("C:\\app2\\sub\\c.dll");
    sim::addFile("C:\\ap\\d.dll");
    const Lines neighbours = sim::tree("C:\\app2");
    const Lines near = sim::tree("C:\\ap");
    remove("C:\\app");
    EXPECT_EQ(sim::tree("C:\\app2"), neighbours);
    EXPECT_EQ(sim::tree("C:\\ap"), near);
    EXPECT_EQ(sim::attributesOf("C:\\app2\\neighbour.dll"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    for (const sim::Call& call : sim::calls()) {
        if (call.function == "streamOfFile" || call.function == "GetModuleHandleA" || call.args.empty()) continue;
        const std::string& path = call.args[0];
        EXPECT_TRUE(path == "C:\\app" || path.rfind("C:\\app\\", 0) == 0) << call.function << " " << path;
    }
}

}  // namespace
