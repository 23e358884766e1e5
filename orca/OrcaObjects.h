#pragma once
// Objects as ORCA sees them, over the entries of a library: an object is a name and a
// type, stored as a source entry (name.srw) and, once PowerBuilder has compiled it, a
// compiled entry (name.win). Also the pieces of text the calls and pblutil read and
// write: the ancestor clause of a source, the source-control records, and the export
// file form with its $PBExportHeader$ line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orca/EntryTypes.h"
#include "orca/PblLibrary.h"

namespace orca {

// "srw" for a window (7), nullptr for an unknown type.
const char* SourceExtension(int type);
// "win" for a window, nullptr for an unknown type.
const char* CompiledExtension(int type);
// The entry type of an entry name by its extension, source or compiled; -1 when the
// extension is not one of an object. *isSource tells which of the two it is.
int EntryTypeOfName(std::string_view entryName, bool* isSource = nullptr);
// The name without its extension.
std::string_view ObjectName(std::string_view entryName);

// The entries of one object in a library. Names compare without regard to case when no
// entry has the exact name.
struct ObjectEntries {
    const PblEntry* source = nullptr;
    const PblEntry* compiled = nullptr;
    // Further entries of the object that are neither (an application's .pra).
    std::vector<const PblEntry*> extras;
    bool Empty() const { return !source && !compiled && extras.empty(); }
};
ObjectEntries FindObject(const PblLibrary& library, std::string_view name, int type);

// A source entry as a library stores it: the comment before the source text. The
// entry's comment length is a 16-bit word, so a comment holds at most MaxCommentLength
// bytes; callers refuse a longer one first (CommentTooLong), as it would be cut.
PblEntry SourceEntry(std::string name, std::string format, uint32_t time, std::string_view comment,
                     std::string_view source);
constexpr size_t MaxCommentLength = 65535;
// Empty when an entry can hold the comment, else the reason it cannot.
std::string CommentTooLong(std::string_view comment);

// One line of a library directory: one object.
struct DirectoryObject {
    std::string_view name;  // without extension, in the entry's name
    int type = 0;
    std::string_view comment;  // of the source entry
    uint32_t time = 0;         // of the source entry, of the compiled one when no source
    uint32_t size = 0;         // compiled data size when compiled, else source data size
    const PblEntry* source = nullptr;
    const PblEntry* compiled = nullptr;
};
// The objects of a library in directory order; entries of unknown kinds are left out.
// The names and comments are views into the library's entries.
std::vector<DirectoryObject> ListObjects(const PblLibrary& library);

// The ancestor named by the source's `global type NAME from ANCESTOR` line for the
// object's own name (case ignored, blanks between the words may vary); nullopt when
// the source has no such line.
std::optional<std::string> AncestorOf(std::string_view source, std::string_view name);

// Source-control records as the libraries keep them (see pborca.h for the encoding).
struct SccRecord {
    std::string library;  // the other library of the pair
    std::string entry;    // entry name with extension
    std::string user;
    char flag = 'r';  // 'd' checked out, 's' working copy, 'r' registered
};
// False when the data is not a whole number of such records (another encoding).
bool ParseSccData(std::string_view data, std::vector<SccRecord>* records);
std::string EncodeSccData(const std::vector<SccRecord>& records);

// A source file as the development environment exports it:
//   [HA]$PBExportHeader$NAME.srX CR LF
//   [$PBExportComments$COMMENT CR LF]
//   the source text as the library stores it.
// How an export file holds its text: the code page; the code page with HEXASCII escapes
// for what it lacks, marked by "HA" before the header; or UTF-8 after a byte-order mark
// (as PowerBuilder 10 and later write their workspaces' exports; orca/TextBridge.h).
enum class ExportEncoding { Ansi, HexAscii, Utf8 };
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

struct ExportFile {
    std::string entryName;  // from the header, else empty
    std::string comment;
    std::string source;
    ExportEncoding encoding = ExportEncoding::Ansi;
};
// Splits a file into its header, comment and source. Files without the header line are
// taken as plain source (a comment line may still come first). A leading byte-order mark
// makes the file UTF-8 and is not part of the parts.
ExportFile ParseExportFile(std::string_view bytes);
// The file form of an entry. PowerBuilder 4 to 9, whose libraries these are, write the
// header without a prefix; later versions mark ANSI files with "HA" before it (the
// UTF-8 form starts with Utf8Bom before the header, which callers add). The
// comment line is left out when there is no comment, unless the source begins with the
// comment tag itself. ParseExportFile gives back the parts exactly when the name holds
// no line feed; the comment line holds any comment (see FormatExportFile in
// OrcaObjects.cpp for how its line breaks are written).
std::string FormatExportFile(std::string_view entryName, std::string_view comment,
                             std::string_view source, bool ansiMarker = false);

// The export file of a source entry of a library of that kind, in that encoding. A
// Unicode library's texts that the code page lacks become HEXASCII escapes in the code
// page forms (TextBridge.h); an ANSI library's text goes to UTF-8 through the code page.
std::string ExportEntry(const PblEntry& entry, PblKind kind, ExportEncoding encoding);
// The entry name, comment and source of an export file as a library of that kind stores
// them (a Unicode library: the name in UTF-8, the texts in UTF-16LE, escapes read back);
// false with the reason in *error for a malformed escape or a UTF-8 file that is not.
bool StoredTexts(const ExportFile& file, PblKind kind, std::string* entryName, std::string* comment,
                 std::string* source, std::string* error);
// A source entry of a Unicode library: the comment and source in UTF-16LE.
PblEntry WideSourceEntry(std::string name, std::string format, uint32_t time,
                         std::string_view comment, std::string_view source);

}  // namespace orca
