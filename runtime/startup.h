// What runs before the program's main flow and after it: the start-up order, the library
// initialisation INIT_ with its purge of temporary leftovers, the exit sequence with EXIT_ and
// CLOSEALL, and the driver that runs them all around MAIN. Once per process, on the
// user-interface thread.
//
// Leftovers of earlier runs are the library's temporary files and folders, whose names begin
// with the byte 0x7F. A file whose permission bits grant no write access to anyone stands for
// a read-only file: the purges never delete it (as the deletion of a read-only file fails
// elsewhere), and in DELDIR it ends the purge of its folder.
#pragma once

#include "runtime/settings.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra::runtime {

// The byte that begins the names of the library's temporary files and folders.
inline constexpr char LEFTOVER_MARK = '\x7F';

// Settles how the process's memory allocator keeps freed memory (with glibc's mallopt; nothing
// on Windows); called first thing in main, before any allocation worth the name.
void TUNEHEAP();

// Installs DEFERROR as the current handler (ERRORBLOCK).
void ERRORSYS();

// The library initialisation: settings, public variables, the two purges, the error mode. The
// arguments are accepted and unused.
void INIT_(const std::vector<std::string>& aArgs);

// The library exit procedure: CLOSEALL. (Its other steps clean up after a logged-in user,
// and no user ever logs in.)
void EXIT_();

// There are no tables to close and no work areas to select; deletes the files of cFolder (the
// current folder) named 0x7F + "VIEW*.NTX", letters in either case.
void CLOSEALL(const std::string& cFolder = ".");

// Start-up purge of cFolder (the current folder): every plain file whose name begins with 0x7F
// is deleted; a deletion that fails is skipped. Folders and other entries are not touched.
void PURGECURRENTFOLDER(const std::string& cFolder = ".");

// The folder the second purge lists, from the value of TEMP: that value + "/", so that TEMP
// unset (or empty) means the root folder.
std::string TEMPPURGEFOLDER(std::optional<std::string_view> cTemp);

// Start-up purge of the temporary folder: every entry of TEMPPURGEFOLDER(cTemp) whose name
// begins with 0x7F is given to DELDIR and then to REMOVEDIR. A plain file so named is left
// (nothing to list in it, and it is no folder); a symbolic link is never followed.
void PURGETEMPFOLDER(std::optional<std::string_view> cTemp);

// Deletes the files of a folder (every entry but sub-folders, dot-names included) in name
// order and stops at the first deletion that fails. A symbolic link given as cPath is not
// followed. Returns nothing.
void DELDIR(const std::string& cPath);

// Removes an empty folder; true on success.
bool REMOVEDIR(const std::string& cPath);

// Sets the process error mode and returns the previous one: SetErrorMode on Windows (1: no
// critical-error boxes, the failing file operation reports to its caller). Linux has no such
// boxes, so there the mode is only kept.
int SETERRORMODE(int nMode);

// The error level, the process exit code: 0 from start to end. Returns it as it was; sets it
// when a value is given.
int ERRORLEVEL(std::optional<int> nNew = std::nullopt);

// The arguments MAIN receives: aArgs less every one that begins with "//".
std::vector<std::string> MAINARGS(const std::vector<std::string>& aArgs);

// The exit sequence: clears a pending break or quit, runs the exit procedures (EXIT_ and the
// named shut-down steps; a break or quit raised by one skips the rest), releases what start-up
// took, and returns the error level. Runs at most once; a second call returns the error level.
int EXITSEQUENCE();

// The whole run: defaults, the handler installed by ERRORSYS, INIT_, then MAIN with
// MAINARGS(aArgs) (aArgs are the command-line arguments after the program name), then the exit
// sequence, also after a quit or a break no guarded block caught. Returns the exit code.
int RUNPROGRAM(const std::vector<std::string>& aArgs,
               const std::function<void(const std::vector<std::string>&)>& MAIN);

} // namespace veltra::runtime
