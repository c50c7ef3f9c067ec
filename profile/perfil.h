// Reads and writes one value of a Windows-style profile file by section and key.
// Plain C++: shared by the program and the stand-in printer library.
//
// The format follows what Windows' own profile functions (GetPrivateProfileString,
// WritePrivateProfileString) are documented and observed to do, so that a file edited by
// either reads the same:
// - The text is UTF-8; a UTF-8 byte order mark at its start is skipped. A file that starts
//   with the UTF-16LE byte-order mark FF FE (what a Windows editor saves as "Unicode"), or
//   the UTF-16BE one FE FF, is UTF-16 in that byte order: read as such, and written back
//   in it. The functions below still take and give UTF-8; in a UTF-16 file a byte of a
//   name or value that is no UTF-8 is written as U+FFFD. Lines may end in CR LF, LF or a
//   lone CR; the last line may lack its line break.
// - A line `[name]` opens a section, the name running to the last `]`. Every other line
//   that is not blank is a key: its name before the first `=`, its value after it (none
//   when there is no `=`). Names and values are trimmed of spaces and tabs around them.
//   There are no comments as such: `;Porta=x` is the key ";Porta", so a line whose key
//   starts with `;` is never taken for a plain key, and `Porta=x ; y` has the value
//   "x ; y". Lines before the first section belong to no section and are never read.
// - Section and key names match without regard to letter case (ASCII, Latin-1, Latin
//   Extended-A, Greek and Cyrillic letters).
// - Of duplicate sections, only the first is read and written, and in it the first of
//   duplicate keys.
// - Reading cuts the value at a NUL, removes one pair of matching outer quotation marks
//   (' or ") and gives at most 2047 Unicode characters, never cutting inside a UTF-8
//   sequence. A missing file, section or key reads as the empty text.
// - Writing changes or adds one line and leaves every other byte of the file as it was
//   (in a UTF-16 file too, even bytes that are no UTF-16: a lone surrogate, an odd last
//   byte).
//   An existing key line becomes `Key=value`, the key keeping its spelling and the value
//   standing exactly as given. A new key goes after the last non-blank line of its section;
//   a new section goes at the end of the file. A new line ends with the line break of the
//   line before it (else the file's first one, else CR LF), so a new file is
//   `[Section]\r\nKey=value\r\n`.
//
// Two deliberate differences from Windows: a section, key or value holding a carriage
// return, a line feed or a NUL is never written (std::errc::invalid_argument), and the file
// is replaced atomically: the new text goes to `<file>.tmp` in the same folder, is flushed
// to disk and renamed over the file, keeping its permissions. When the folder forbids the
// temporary file but the file itself is writable, the file is rewritten in place.
//
// On POSIX systems a write never goes where another user points it: a symbolic link in the
// file's place, and each link it leads to, is followed only when it is the user's own or
// root's, else the write fails (std::errc::permission_denied) (the folders on the way are
// taken as the system resolves them); and `<file>.tmp`, when it exists,
// is taken over only when it is a regular file of the user's, else the write fails
// (std::errc::file_exists, or too_many_symbolic_link_levels for a link). A lock held by
// another writer is waited for two seconds at most, then the write fails
// (std::errc::operation_would_block). Reading never waits: a FIFO or a device in the
// file's place reads as the empty text.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace perfil {

// The value of `chave` in `secao` of the file, at most 2047 characters;
// empty when the file, the section or the key is missing. Never fails.
std::string LerString(const std::filesystem::path& arquivo, std::string_view secao,
                      std::string_view chave);

// Stores `valor` under `chave` in `secao`, creating the file, the section or the key
// when missing and leaving every other line as it was. The file is replaced atomically;
// on failure it is left untouched. Returns an empty error code on success.
std::error_code GravarString(const std::filesystem::path& arquivo, std::string_view secao,
                             std::string_view chave, std::string_view valor);

// The same two operations on the file's text (its bytes, UTF-16 included), for callers and
// tests that hold it. GravarNoTexto gives the text back unchanged when a name or the value
// holds CR, LF or NUL.
std::string LerDoTexto(std::string_view texto, std::string_view secao, std::string_view chave);
std::string GravarNoTexto(std::string_view texto, std::string_view secao, std::string_view chave,
                          std::string_view valor);

// One section and key to read, and the value read.
struct Consulta {
    std::string_view secao;
    std::string_view chave;
    std::string valor{};
};

// Reads each of `consultas` as LerDoTexto would, going through the text once however many
// there are: a caller that reads many keys of a large file pays for one reading of it.
void LerDoTexto(std::string_view texto, std::span<Consulta> consultas);

// The file's whole text, for the functions above, as LerString reads it: a missing file
// gives the empty text; a FIFO, a device or a folder an error.
std::error_code LerTexto(const std::filesystem::path& arquivo, std::string& texto);

// True when `texto` holds a carriage return, a line feed or a NUL, which would break
// the line structure of the file.
bool QuebraLinha(std::string_view texto);

#ifdef _WIN32
// On Windows a file without a byte-order mark is in the ANSI code page, as Windows' own
// profile functions keep it (characters outside it take their best fit); the functions
// above still take and give UTF-8, and these take and give wide text.
std::wstring LerString(const std::filesystem::path& arquivo, std::wstring_view secao,
                       std::wstring_view chave);
std::error_code GravarString(const std::filesystem::path& arquivo, std::wstring_view secao,
                             std::wstring_view chave, std::wstring_view valor);
#endif

} // namespace perfil
