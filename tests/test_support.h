// What the tests share: a fresh folder per test, whole-file reads and writes, and prompts
// answered from a list whose transcript the tests compare.
#pragma once

#include "app/prompts-scripted.h"
#include "app/transcript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A new empty folder, removed with all its content at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // `relative` with '/' between names, turned into a native path under this folder.
    std::string at(const std::string& relative) const;

private:
    std::string m_path;
};

// `relative` with '/' turned into the native separator.
std::string native(const std::string& relative);

// Writes the bytes exactly, creating the folders on the way.
void write_bytes(const std::string& path, const std::string& bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string read_bytes(const std::string& path);
bool exists(const std::string& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> folder_names(const std::string& path);

// Scripted answers with a transcript: what the user saw, line by line.
struct ScriptedSession {
    explicit ScriptedSession(std::vector<std::string> lines = {}) : answers(std::move(lines)), wn(answers) {}
    const std::vector<std::string>& transcript() const { return wn.lines(); }

    ScriptedPrompts answers;
    TranscriptPrompts wn;
};

// Puts the engine's shared state back as a fresh program has it, with `root` as the Poser
// root and no run log.
void reset_engine(const std::string& root);

// A Poser root with the meshes geom/man2.obj and geom/ball.obj, the file chars/man.cr2 to be
// checked (not yet written) and its first backup name, and a run log in the test's folder.
class PoserFolderTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string obj(const std::string& name) const { return dir.at("Poser/geom/" + name); }
    std::string log_path() const { return dir.at("__result_of_run.txt"); }
    void open_log();
    // Closes the run log and returns what it holds.
    std::string log_text();

    TempDir dir;
    std::string man;
    std::string backup;
};
