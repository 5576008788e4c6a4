// What the tests of both rings expect of the program: the caption and the texts of its boxes, character for character.
#pragma once

namespace expected {

inline constexpr char caption[] = "Quenderholt Pelvane: Uninstallation Cleanup";
inline constexpr char firstQuestion[] =
    "This application is designed to remove remaining files and registry entries associated with Quenderholt "
    "Pelvane 6, to allow re-installation or upgrading.\n\nIn order to be most reliable, you should have "
    "administrator privileges and be logged on as the same user that installed Pelvane.\n\nDo you want to proceed?";
inline constexpr char stillInstalledQuestion[] =
    "Pelvane does not appear to have been uninstalled.\n\nYou should run the normal uninstaller before using this "
    "application (or else some menu items and registry entries may be left undeleted).\n\nContinue cleanup anyway?";
inline constexpr char searchQuestion[] =
    "The Pelvane library was not found at the default location.\n\nDo you want to try and identify the folder to be "
    "deleted?\n(You will be prompted to confirm deletion of each file.)";
inline constexpr char dialogStopText[] = "Unable to identify application folder, cannnot continue!";
inline constexpr char folderStopText[] = "Application folder error, cannot continue!";
inline constexpr char productStopText[] = "Unable to terminate Pelvane, cannot continue!";
inline constexpr char anotherCopyText[] =
    "Remove Pelvane is already running.\n\nWait until it has finished, then run it again if needed.";
inline constexpr char otherUsersNote[] =
    "\n\nNote: If other users have used Pelvane on this machine, you may need to run this application for each user "
    "to clear registry entries associated with that user";
// The summary when something stays that a restart will not remove, up to the folder's name and after it.
inline constexpr char leftBehindSummaryStart[] =
    "Some files or registry entries of Quenderholt Pelvane are still there, and a reboot will not remove them. They "
    "are in the folder ";
inline constexpr char leftBehindSummaryEnd[] =
    " or in the registry, and may prevent re-installing or upgrading Quenderholt Pelvane.\n\n(See ";
inline constexpr char leftBehindLogEnd[] =
    "\r\nSome files or registry entries could not be removed\r\n\r\nPelvane cleanup completed.\r\n\r\n";
// What every summary says in place of the log's name when no log could be written.
inline constexpr char noLogPointer[] = "\n\n(No log could be written.)";
inline constexpr char fileDialogTitle[] = "Select any file in the directory to be deleted";

}  // namespace expected
