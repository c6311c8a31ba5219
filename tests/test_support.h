// What the tests share: a fresh folder per test, whole-file reads and writes, prompts
// answered from a list whose transcript the tests compare, and the run log's lines.
#pragma once

#include "app/prompts-scripted.h"
#include "app/transcript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

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

// Scripted answers with a transcript: what the user saw, line by line.
struct ScriptedSession {
    explicit ScriptedSession(Lines lines = {}) : answers(std::move(lines)), wn(answers) {}
    const Lines& transcript() const { return wn.lines(); }

    ScriptedPrompts answers;
    TranscriptPrompts wn;
};

// Puts the engine's shared state back as a fresh program has it, with `root` as the Poser
// root, no run log and no stop request.
void reset_engine(const std::string& root);

inline std::string correcting_lines(const std::string& corrected, const std::string& backup)
{
    return "file " + corrected + " being corrected: old version is on\r\n     " + backup + "\r\n";
}

inline std::string replaced_lines(const std::string& old_obj, const std::string& new_obj)
{
    return "      pointer to " + old_obj + " replaced by\r\n      pointer to " + new_obj + "\r\n";
}
