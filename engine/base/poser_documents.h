// Which files of a library are Poser documents, beyond the four kinds the repair has always
// checked: every document Poser writes, plain or gzip-compressed.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

// True when `name` ends in the extension of a Poser document, letters in any case: .cr2
// .pp2 .hr2 .pz3 .pz2 .lt2 .cm2 .fc2 .hd2 .mc6 .mt5 .mz5, or a compressed one (.crz .ppz .hrz
// .pzz .p2z .ltz .cmz .fcz .hdz .mcz). AppleDouble files ("._name"), which archives made on a
// Mac carry beside each file and which hold no text, are none.
bool is_poser_document(std::string_view name);
// True when `name` ends in the extension of a compressed Poser document (.crz .ppz ...).
bool is_compressed_poser_document(std::string_view name);
// The same extensions as a file chooser's pattern: "*.CR2;*.PP2;...".
const char* poser_document_patterns();

// True when `name` is NAME_zzNN.ext (NN two digits) and NAME.ext is among `names`: the old
// text an earlier repair kept beside the file.
bool is_backup_beside(std::string_view name, const std::unordered_set<std::string>& names);
