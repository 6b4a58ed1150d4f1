// Numbers of the plug-in's texts in its language files (SendrelEng.lng,
// SendrelRus.lng); every text the operator sees is one of these.
#pragma once

namespace sendrel {

enum Msg : int {
  MOk = 0,
  MCancel = 1,
  MMenuEntry = 2,
  MConfigEntry = 3,
  MAttachTitle = 4,
  MAttachSummary = 5,  // format: number of files (integer), total size (text)
  MFlavorLabel = 6,
  MFlavorHold = 7,
  MFlavorNormal = 8,
  MFlavorDirect = 9,
  MKillSent = 10,
  MConfigTitle = 11,
  MMainAddrLabel = 12,
  MOutbTypeLabel = 13,
  MOutbNetmail = 14,
  MOutbBink = 15,
  MOutbFileBox = 16,
  MOutbLongFileBox = 17,
  MPathLabel = 18,
  MWarningTitle = 19,
  MBadDestAddr = 20,  // format: the typed address (text)
  MBadMainAddr = 21,  // format: the typed address (text)
  MNotConfigured1 = 22,
  MNotConfigured2 = 23,
  MOutboundSetupFailed = 24,
  MAttachFailed = 25,
  MPathMissing = 26,
  MLibraryUnusable = 27,
  MFoldersRefused = 28,  // followed by the folders' names
  MFileRefused = 29,     // followed by the file's name and one of 30 to 34
  MPathTooLong = 30,     // format: the longest path (integer)
  MNameNotPassed = 31,
  MNameNotInAnsi = 32,
  MNameEndsInDot = 33,
  MFileMissing = 34,    // followed by the system's reason
  MLibraryFolder = 35,  // format: the plug-in's folder (text)
  MPathIsAFile = 36,    // followed by the path typed
  MNotAFile = 37,
  MAlreadyQueued = 38,  // format: the destination (text); then files and 39
  MQueuedIn = 39,       // format: the flow file or box (text)
  MSkipQueued = 40,
  MQueueAgain = 41,
  MCount = 42
};

}  // namespace sendrel
