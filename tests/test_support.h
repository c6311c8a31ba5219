// What the tests share: a fresh folder per test, whole-file reads and writes, prompts
// answered from a list whose transcript the tests compare, and the run log's lines.
#pragma once

#include "app/prompts-scripted.h"
#include "app/transcript.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;
using Files = std::map<std::string, std::string>;  // path -> bytes

// A new empty folder, removed with all its content at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // `relative` with '/' between names, as a native path under this folder.
    std::string at(const std::string& relative) const;

private:
    std::string m_path;
};

// Writes the bytes exactly, creating the folders on the way.
void write_bytes(const std::string& path, const std::string& bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string read_bytes(const std::string& path);
bool exists(const std::string& path);
// Every regular file below `folder` with its bytes, decompressed when `compressed`.
Files files_below(const std::string& folder, bool compressed = false);

// Scripted answers with a transcript: what the user saw, line by line.
struct ScriptedSession {
    explicit ScriptedSession(Lines lines = {}) : answers(std::move(lines)), wn(answers) {}
    const Lines& transcript() const { return wn.lines(); }

    ScriptedPrompts answers;
    TranscriptPrompts wn;
};

// Puts the engine's shared state back as a fresh program has it, with `root` as the Poser
// root, no run log, no stop request and the default rules.
void reset_engine(const std::string& root);

inline std::string correcting_lines(const std::string& corrected, const std::string& backup)
{
    return "file " + corrected + " being corrected: old version is on\r\n     " + backup + "\r\n";
}

// The transcript line of the chooser asking for the missing `missing`, answered `answer`.
inline std::string chooser_line(const std::string& missing, const std::string& answer)
{
    return "open\tmain\tfind the correct .OBJ file\t" + missing + "\t" + missing.substr(0, missing.find_last_of("/\\")) +
           "\tOBJ mesh geometry files\t" + answer;
}

inline std::string replaced_lines(const std::string& old_obj, const std::string& new_obj)
{
    return "      pointer to " + old_obj + " replaced by\r\n      pointer to " + new_obj + "\r\n";
}
