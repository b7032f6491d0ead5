#pragma once

// Internal to the library: the number that begins each of its log lines, named once. The
// numbers are part of the lines' text, which callers, tests and docs/failures.md match, so
// each keeps its value; a number is unique within its logger, not across loggers.
namespace stagehand {
namespace logcode {

// "stagehand.ProcessEnumerator"
const char kEnumProcessesFails[] = "27 ";

// "stagehand.ProcessModuleEnumerator"
const char kModuleName[] = "57 ";
const char kModuleBaseNameFails[] = "61 ";
const char kEnumProcessModulesFails[] = "67 ";
const char kOpenProcessFails[] = "72 ";

// "stagehand.WindowEnumerator"
const char kWindowPlacementFails[] = "48 ";

// "MonitorInfo"
const char kEnumDisplayMonitorsFails[] = "22 ";

// "stagehand.GenericWindows"
const char kNullWindowInstance[] = "20 ";
const char kGettingWindowLong[] = "27 ";
const char kWindowLongFails[] = "32 ";
const char kClassName[] = "189 ";
const char kNoWindowHandle[] = "192 ";
const char kDestroyWindowFails[] = "220 ";
const char kUnregisterClassFails[] = "221 ";
const char kUnsubclassFails[] = "232 ";
const char kProcedureNotBack[] = "233 ";
const char kNameTooLong[] = "346 ";
const char kNoDeviceContext[] = "347 ";
const char kScreenSaverUnreadable[] = "351 ";
const char kAlreadySubclassing[] = "405 ";
const char kAlreadySubclassed[] = "408 ";
const char kNoWindowToSubclass[] = "416 ";
const char kSubclassFails[] = "425 ";

// "stagehand.allocateConsole"
const char kAllocConsoleFails[] = "27 ";
const char kNoConsole[] = "37 ";

// "RenderWindowManager"
const char kProgramNotFound[] = "116 ";
const char kNoAdapter[] = "240 ";
const char kPlaceWindowFails[] = "261 ";
const char kWindowNotInitialized[] = "267 ";
const char kNoParameters[] = "280 ";
const char kNoAdapterForArray[] = "287 ";
const char kGridMismatch[] = "345 ";
const char kNotAllWindowsMade[] = "378 ";
const char kPlaceTileFails[] = "396 ";

// "stagehand.ScreenSaverHold"
const char kScreenSaverNotOff[] = "352 ";
const char kScreenSaverNotBack[] = "353 ";
const char kDisplayNotKept[] = "354 ";
const char kHoldersUnlisted[] = "355 ";
const char kHolderUnknown[] = "356 ";

// "stagehand.ClearingJournal"
const char kRecoveryOff[] = "411 ";
const char kNotRetired[] = "419 ";

// "stagehand.DesktopClearing"
const char kUnresponsive[] = "413 ";
const char kNotShownAgain[] = "414 ";
const char kNotAsked[] = "415 ";
const char kWindowsUnlisted[] = "424 ";
const char kStartUnreadable[] = "418 ";
const char kForegroundOwnerUnread[] = "420 ";

// "stagehand.StackingOrder"
const char kNotMovedBack[] = "417 ";

// "stagehand.DesktopRecovery"
const char kJournalRefused[] = "421 ";
const char kNotRemoved[] = "422 ";
const char kSaverNotSwitchedOn[] = "423 ";
const char kModeJournalRefused[] = "456 ";
const char kModeNotRestored[] = "457 ";

// "stagehand.DesktopLock"
const char kLeftHidden[] = "412 ";
const char kWaitingForDesktop[] = "441 ";
const char kDesktopBusy[] = "442 ";
const char kGivenBackFirst[] = "443 ";
const char kJournalsUnlisted[] = "445 ";
const char kLockUnusable[] = "444 ";

// "stagehand.TestRun"
const char kJobNotMade[] = "431 ";
const char kJobNotJoined[] = "432 ";
const char kNotRunOrWaited[] = "433 ";

// "stagehand.DisplayModeEnumerator"
const char kCurrentModeUnreadable[] = "451 ";
const char kNoModeListed[] = "452 ";

// "stagehand.DisplayModeHold"
const char kModeRefused[] = "453 ";
const char kChangeRefused[] = "454 ";
const char kModeNotGivenBack[] = "455 ";

}  // namespace logcode
}  // namespace stagehand
