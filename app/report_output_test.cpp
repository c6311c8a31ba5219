// The report's three outputs, with names that would break each of them if written raw.
#include "app/report_command.h"
#include "app/report_output.h"

#include "tests/test_support.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

static LibraryReport hostile_report()
{
    LibraryReport r{{"/r", "\""}, 2, 1, 3, false, {{"/l/bad\x1b[31m.crz", "corrupt or truncated gzip data"}}, 5, 1, {}, {}};
    r.counts[static_cast<int>(RefStatus::ok)][static_cast<int>(RefKind::geometry)] = 1;
    r.counts[static_cast<int>(RefStatus::missing)][static_cast<int>(RefKind::geometry)] = 2;
    r.counts[static_cast<int>(RefStatus::moved)][static_cast<int>(RefKind::image)] = 1;
    r.counts[static_cast<int>(RefStatus::refused)][static_cast<int>(RefKind::image)] = 1;
    r.problems = {
        {":a:<script>\xff\x01\xc2\x9b.obj", RefKind::geometry, RefStatus::missing, {}, {{"/l/x.cr2", 3}, {"/l/y \"q\".cr2", 9}},
         std::string::npos, Refusal::none, 2},
        {":b.jpg", RefKind::image, RefStatus::moved, {"/r/t/b.jpg"}, {{"/l/x.cr2", 4}}, std::string::npos, Refusal::none, 1},
        {"//s/<i>.jpg", RefKind::image, RefStatus::refused, {}, {{"/l/x.cr2", 5}}, std::string::npos, Refusal::network, 1},
    };
    return r;
}

TEST(ReportOutput, TextWorstFirstJsonWholeAndValidHtmlEscapedWithControlsMadeVisible)
{
    EXPECT_EQ(visible("a\tb\x1b\x7f\xc3\xa9\xe2\x82\xac\xff\xc2\x85\xc2\xa0z\xe0\x80\xaf"),
              "a\\tb\\e\\x7f\xc3\xa9\xe2\x82\xac\\xff\\x85\xc2\xa0z\\xe0\\x80\\xaf");
    // Four-byte forms up to U+10FFFF kept; overlong ones, surrogates and those past it shown byte by byte.
    EXPECT_EQ(visible("\xf0\x9f\x98\x80\xf0\x8f\xbf\xbf\xed\xa0\x80\xf4\x8f\xbf\xbf\xf4\x90\x80\x80\xe0\xa0\x80\xc1\xbf"),
              "\xf0\x9f\x98\x80\\xf0\\x8f\\xbf\\xbf\\xed\\xa0\\x80\xf4\x8f\xbf\xbf\\xf4\\x90\\x80\\x80\xe0\xa0\x80\\xc1\\xbf");
    const LibraryReport hostile = hostile_report();
    const std::string text = report_text(hostile);
    EXPECT_EQ(text.substr(0, text.find("\n\n")),
              "refused image //s/<i>.jpg\n  a network path, not looked up\n  used in /l/x.cr2 line 5\n"
              "missing geometry :a:<script>\\xff\\x01\\x9b.obj\n  used in /l/x.cr2 line 3\n  used in /l/y \"q\".cr2 line 9\n"
              "moved image :b.jpg\n  candidate /r/t/b.jpg\n  used in /l/x.cr2 line 4");
    expect_pieces(text, {"\nmissing: 2, geometry 2, image 0, morph 0, script 0\n",
                         "\nimage: ok 0, absolute 0, case 0, moved 1, missing 0, refused 1\n",
                         "\nfiles: 2 read, 1 compressed, 1 unreadable, 3 backups skipped\nunreadable /l/bad\\e[31m.crz: corrupt",
                         "data\n1 Poser file could not be read: the check is incomplete\n"});
    LibraryReport fine{{}, 3, 0, 0, false, {}, 7, 0, {}, {}};
    EXPECT_EQ(report_text(fine), "nothing to report: 7 references in 3 Poser files, all found\n");
    fine.backups_skipped = 2;
    EXPECT_EQ(report_text(fine), "nothing to report: 7 references in 3 Poser files, all found (2 backups skipped)\n");
    const std::string expected = R"({"version":"9.9","roots":["/r","\""],"files":{"read":2,"compressed":1,"backups_skipped":3,
        "unreadable":[{"path":"/l/bad\u001b[31m.crz","reason":"corrupt or truncated gzip data"}]},
        "references":{"total":5,"ok":1,"absolute":0,"case":0,"moved":1,"missing":2,"refused":1,"builtin":1},
        "problems":[{"target":":a:<script>\ufffd\u0001\u009b.obj","kind":"geometry","status":"missing","candidates":[],
                     "uses":[{"file":"/l/x.cr2","line":3},{"file":"/l/y \"q\".cr2","line":9}],"use_count":2},
                    {"target":":b.jpg","kind":"image","status":"moved","candidates":["/r/t/b.jpg"],
                     "uses":[{"file":"/l/x.cr2","line":4}],"use_count":1},
                    {"target":"//s/<i>.jpg","kind":"image","status":"refused","candidates":[],"refusal":"network_path",
                     "reason":"a network path, not looked up","uses":[{"file":"/l/x.cr2","line":5}],"use_count":1}]})";
    EXPECT_EQ(nlohmann::json::parse(report_json(hostile, "9.9")), nlohmann::json::parse(expected));
    // Laid out byte for byte as the library lays out the same values, empty lists included.
    for (const LibraryReport& r : {hostile, LibraryReport{}}) {
        const std::string json = report_json(r, "9.9");
        EXPECT_EQ(json, nlohmann::json::parse(json).dump(2) + "\n");
    }
    const std::string page = report_html(hostile, "9.9");
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("http"), std::string::npos);  // nothing from outside
    expect_pieces(page, {"<span class=\"target\">:a:&lt;script&gt;\\xff\\x01\\x9b.obj</span>", "/l/y &quot;q&quot;.cr2 line 9",
                         "<span class=\"target\">//s/&lt;i&gt;.jpg</span></div><div>a network path, not looked up</div>",
                         "<th>all</th><th>geometry</th><th>image</th><th>morph</th><th>script</th></tr>",
                         "<summary>used 2 times</summary>", "<summary>used once</summary>",
                         "<h2 id=\"missing\">missing: 1 target</h2>", "<h2 id=\"refused\">refused: 1 target</h2>",
                         "<h2>unreadable files</h2><ul><li>/l/bad\\e[31m.crz: corrupt or truncated gzip data</li></ul>"});
    // A problem's uses are shown open up to ten of them, folded beyond.
    LibraryReport many = hostile;
    for (const auto& [uses, details] : {std::pair(10, "<details open><summary>used 10"), std::pair(11, "<details><summary>used 11")}) {
        many.problems[0].uses.resize(uses, {"/l/z.cr2", 1});
        many.problems[0].use_count = uses;
        EXPECT_NE(report_html(many, "9.9").find(details), std::string::npos) << uses;
    }
}

// A real browser shows the page as written (slow: a browser starts).
TEST(ReportOutputSlow, HtmlPageRendersInABrowser)
{
    const std::string page = report_html(hostile_report(), "9.9");
#ifndef _WIN32
    const char* browser = std::getenv("TARNWICK_CHROMIUM");
    const std::string chromium = browser != nullptr ? browser : "chromium";
    TempDir dir;
    write_bytes(dir.at("report.html"), page);
    const std::string command = "'" + chromium + "' --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                                "--disable-background-networking --disable-component-update --disable-sync --user-data-dir='" +
                                dir.at("profile") + "' --dump-dom 'file://" + dir.at("report.html") + "' >'" +
                                dir.at("dom.html") + "' 2>/dev/null";
    const std::string dom = std::system(command.c_str()) == 0 ? read_bytes(dir.at("dom.html")) : "";
    if (dom.find("</html>") == std::string::npos) {
        GTEST_SKIP() << "headless Chromium (" << chromium << ") could not start here";
    }
    EXPECT_EQ(dom.find("<script"), std::string::npos);
    expect_pieces(dom, {"4 references moved, missing or refused", "missing: 1 target", ":a:&lt;script&gt;", "<li>/r/t/b.jpg</li>",
                        "<td>missing</td><td>2</td><td>2</td>"});
#endif
}

TEST(ReportCommand, ExitStatusesRootsAndATreeLeftAsItWas)
{
    TempDir dir;
    write_files(dir, {"one/Runtime/Geometries/a.obj", "two/Runtime/Geometries/b.obj"}, "");
    write_bytes(dir.at("lib/x.cr2"), "figureResFile :Runtime:Geometries:a.obj\r\n");
    write_gzip(dir.at("lib/y.crz"), "figureResFile :Runtime:Geometries:b.obj\n");
    write_bytes(dir.at("cut/z.crz"), read_bytes(dir.at("lib/y.crz")).substr(0, 20));
    // Poser registers the libraries folder; on POSIX wine's drive Z: stands for "/".
    std::string registered = dir.at("two/Runtime/Libraries");
#ifndef _WIN32
    std::replace(registered.begin(), registered.end(), '/', '\\');
    registered = "Z:" + registered + "\" /><ContentFolder folder=\"D:\\far";
#endif
    write_bytes(dir.at("prefs.xml"), "<ContentFolder folder=\"" + registered + "\" />");
    const auto before = files_below(dir.path());
    struct Case {
        ReportRequest request;
        int status;
        std::string out_starts;
        std::string err;
    };
    const Case cases[] = {
        {{{dir.at("one")}, "", false, "", {dir.at("lib")}}, k_report_broken, "missing geometry :Runtime:Geometries:b.obj", ""},
        {{{dir.at("one") + "/"}, dir.at("prefs.xml"), true, dir.at("page.html"), {dir.at("lib")}},
         k_report_all_found, "{", ""},
        {{{dir.at("one")}, "", false, "", {dir.at("cut")}}, k_report_broken, "\nok: 0", ""},  // nothing checked
        {{{dir.at("none")}, "", false, "", {dir.at("lib")}}, k_report_usage_error, "",
         "tarnwick-cli: the root " + dir.at("none") + " does not exist\n"},
        {{{dir.at("lib/x.cr2")}, "", false, "", {dir.at("lib")}}, k_report_usage_error, "",
         "tarnwick-cli: the root " + dir.at("lib/x.cr2") + " is not a folder\n"},
        {{{dir.at("one")}, "", false, "", {dir.at("nothing.cr2")}}, k_report_usage_error, "",
         "tarnwick-cli: no such file or folder: " + dir.at("nothing.cr2") + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        std::FILE *out = std::tmpfile(), *err = std::tmpfile();
        EXPECT_EQ(run_report(fsys::disk(), c.request, "9.9", out, err), c.status);
        const std::string text = file_text(out), errors = file_text(err);
        EXPECT_EQ(text.substr(0, c.out_starts.size()), c.out_starts);
#ifndef _WIN32
        EXPECT_EQ(errors, c.err + (c.request.json ? "tarnwick-cli: D:\\far: a drive this system cannot reach, left out\n" : ""));
#endif
        if (c.request.json) {
            EXPECT_EQ(nlohmann::json::parse(text)["roots"], nlohmann::json::array({dir.at("one"), dir.at("two")}));
            EXPECT_EQ(read_bytes(c.request.html).substr(0, 15), "<!DOCTYPE html>");
        }
    }
    std::filesystem::remove(dir.at("page.html"));
    EXPECT_EQ(files_below(dir.path()), before);
}

// A product's report: what breaks its install, where each target was found, names escaped in each output.
TEST(ReportOutput, AProductsPackageProblemsAndDependencies)
{
    LibraryReport r = hostile_report();
    r.own_roots = 1;
    r.problems[1].root = 1;
    r.package = {{"/p.zip", {zipfs::ProblemKind::link, "Runtime/<l>\x1b", "a link"}}};
    r.dependencies = {{":base.obj", RefKind::geometry, RefStatus::ok, {"/r/base.obj"}, {{"/p.zip/a.cr2", 1}}, 1, Refusal::none, 1}};
    expect_pieces(report_text(r), {"package link Runtime/<l>\\e in /p.zip: a link\n", "moved image :b.jpg (from root)\n",
                                   "needed geometry :base.obj (from root)\n  found /r/base.obj\n",
                                   "product: 1 package problem, 1 file needed from the roots\n"});
    r.root_notes = {"a link \x01 not followed", "\\"};
    const std::string text = report_json(r, "9.9");
    EXPECT_EQ(text, nlohmann::json::parse(text).dump(2) + "\n");
    const nlohmann::json doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc["problems"][1]["from"], "root");
    EXPECT_EQ(doc["product"]["dependencies"][0]["from"], "root");
    EXPECT_EQ(doc["product"]["package"][0]["entry"], "Runtime/<l>\u001b");
    expect_pieces(report_html(r, "9.9"), {"/p.zip Runtime/&lt;l&gt;\\e: a link", "<span class=\"tag\">from root</span>",
                                          "<ul><li>a link \\x01 not followed</li><li>\\</li></ul>", "needed from the roots: 1 target</h2>"});
}

// The page's verdict names the worst it holds, counted; fine only when nothing is broken, unread or in an install's way.
TEST(ReportOutput, HtmlVerdictNamesTheWorstThingCounted)
{
    struct Shape {
        long long missing, refused;
        std::size_t unread, package, needed;
        const char* verdict;
    };
    const Shape shapes[] = {
        {1, 0, 1, 1, 0, "broken\">1 reference moved, missing or refused</p>"},
        {1, 1, 0, 0, 0, "broken\">2 references moved, missing or refused</p>"},
        {0, 0, 1, 1, 1, "broken\">1 Poser file could not be read</p>"},
        {0, 0, 1, 0, 0, "broken\">1 Poser file could not be read</p>"},
        {0, 0, 2, 0, 0, "broken\">2 Poser files could not be read</p>"},
        {0, 0, 0, 1, 1, "broken\">1 problem breaks the install</p>"},
        {0, 0, 0, 2, 0, "broken\">2 problems break the install</p>"},
        {0, 0, 0, 0, 1, "fine\">every reference is found, 1 file of them needed from the roots</p>"},
        {0, 0, 0, 0, 0, "fine\">every reference is found</p>"},
    };
    for (const Shape& s : shapes) {
        LibraryReport r{{"/r"}, 2, 0, 0, false, {}, 5, 1, {}, {}};
        r.counts[static_cast<int>(RefStatus::missing)][static_cast<int>(RefKind::geometry)] = s.missing;
        r.counts[static_cast<int>(RefStatus::refused)][static_cast<int>(RefKind::image)] = s.refused;
        r.unreadable.assign(s.unread, UnreadableFile{"/l/a.cr2", "corrupt"});
        r.package.assign(s.package, ReportPackageProblem{"/p.zip", {zipfs::ProblemKind::link, "Runtime/l", "a link"}});
        r.dependencies.assign(s.needed, ReportProblem{":b.obj", RefKind::geometry, RefStatus::ok, {"/r/b.obj"}, {}});
        const std::string page = report_html(r, "9.9");
        // A check of product zips is titled so; the summary has a column per kind of reference.
        const std::string n = std::to_string(s.missing);
        expect_pieces(page, {std::string("<p class=\"verdict ") + s.verdict, s.package > 0 ? "<h1>Product report</h1>" : "<h1>Library report</h1>",
                             "<tr class=\"missing\"><td>missing</td><td>" + n + "</td><td>" + n + "</td><td>0</td><td>0</td><td>0</td></tr>"});
        EXPECT_EQ(page.find("class=\"verdict", page.find("class=\"verdict") + 1), std::string::npos) << s.verdict;
    }
}
