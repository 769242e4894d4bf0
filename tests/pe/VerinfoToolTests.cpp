#include "../support/PeImageBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef VERINFO_PATH
 #error "VERINFO_PATH must name the verinfo binary"
#endif

namespace
{
    struct Run
    {
        int exitCode = -1;
        std::string out, err;
    };

    std::string slurp (const std::string& path)
    {
        std::ifstream in (path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    /** Runs verinfo with the arguments in dir; stdout and stderr go through files, so neither pipe can fill. */
    Run runVerinfo (const std::vector<std::string>& arguments, const std::string& dir = ".")
    {
        char outName[] = "/tmp/verinfo-out-XXXXXX";
        char errName[] = "/tmp/verinfo-err-XXXXXX";
        const int outFd = ::mkstemp (outName);
        const int errFd = ::mkstemp (errName);
        Run run;

        if (outFd < 0 || errFd < 0)
            return run;

        std::vector<std::string> argvStrings { VERINFO_PATH };
        argvStrings.insert (argvStrings.end(), arguments.begin(), arguments.end());

        std::vector<char*> argv;

        for (auto& a : argvStrings)
            argv.push_back (a.data());

        argv.push_back (nullptr);

        const auto pid = ::fork();

        if (pid == 0)
        {
            ::dup2 (outFd, 1);
            ::dup2 (errFd, 2);

            if (::chdir (dir.c_str()) == 0)
                ::execv (argv[0], argv.data());

            ::_exit (127);
        }

        int status = 0;

        if (pid > 0 && ::waitpid (pid, &status, 0) == pid && WIFEXITED (status))
            run.exitCode = WEXITSTATUS (status);

        ::close (outFd);
        ::close (errFd);
        run.out = slurp (outName);
        run.err = slurp (errName);
        ::unlink (outName);
        ::unlink (errName);
        return run;
    }

    struct TempDir
    {
        TempDir()
        {
            char pattern[] = "/tmp/verinfo-test-XXXXXX";

            if (::mkdtemp (pattern) != nullptr)
                path = pattern;
        }

        ~TempDir()
        {
            for (const auto& f : files)
                ::unlink ((path + "/" + f).c_str());

            ::rmdir (path.c_str());
        }

        void write (const std::string& name, const petest::Bytes& content)
        {
            std::ofstream out (path + "/" + name, std::ios::binary);
            out.write (reinterpret_cast<const char*> (content.data()), static_cast<std::streamsize> (content.size()));
            files.push_back (name);
        }

        std::string path;
        std::vector<std::string> files;
    };
}

//==============================================================================
TEST (VerinfoTool, PrintsOneEscapedLinePerFile)
{
    TempDir dir;
    ASSERT_FALSE (dir.path.empty());

    // Tab, backslash and UTF-8 in the name; Windows-1252 bytes and a backslash in the values.
    dir.write ("a\tb\\c\xc3\xa9.dll", petest::PeImageBuilder().addVersion (
        petest::simpleVersionBlock (u"040904e4", u"Caf\u00e9 \u20ac\\", u"1,0,0,1", u"\u4e2d\U0001F3B9 Co")).build());
    dir.write ("plain.dll", petest::PeImageBuilder (true).addVersion (
        petest::simpleVersionBlock (u"040904b0", u"Synth", u"2.0", u"Acme")).build());
    dir.write ("partial.dll", petest::PeImageBuilder().addVersion (
        petest::versionRoot ({ petest::stringFileInfo ({ petest::stringTable (u"000004b0", { petest::stringEntry (u"ProductName", u"Half"),
                                                                                           petest::stringEntry (u"ProductVersion", u"0.9") }) }) }).serialise()).build());
    dir.write ("text.dll", { 'h', 'i', '\n' });

    const auto run = runVerinfo ({ "a\tb\\c\xc3\xa9.dll", "plain.dll", "partial.dll", "text.dll" }, dir.path);

    EXPECT_EQ (run.exitCode, 0);
    EXPECT_EQ (run.err, "");
    EXPECT_EQ (run.out,
               "a\\x09b\\x5Cc\\xC3\\xA9.dll\tCaf\\xE9 \\x80\\x5C\t1,0,0,1\t??? Co\t\n"
               "plain.dll\tSynth\t2.0\tAcme\t\n"
               "partial.dll\tHalf\t0.9\t\tProblem retrieving information\n"
               "text.dll\t\t\t\tNo version information supplied.\n");
}

TEST (VerinfoTool, ReportsFilesThatCannotBeOpened)
{
    const auto run = runVerinfo ({ "/nonexistent/x.dll", "/tmp" });
    EXPECT_EQ (run.exitCode, 1);
    EXPECT_EQ (run.out, "/nonexistent/x.dll\t\t\t\tNo version information supplied.\n"
                        "/tmp\t\t\t\tNo version information supplied.\n");
}

TEST (VerinfoTool, UsageAndOptions)
{
    const auto none = runVerinfo ({});
    EXPECT_EQ (none.exitCode, 2);
    EXPECT_EQ (none.out, "");
    EXPECT_NE (none.err.find ("Usage: verinfo"), std::string::npos);

    const auto help = runVerinfo ({ "x.dll", "--help" });
    EXPECT_EQ (help.exitCode, 0);
    EXPECT_EQ (help.out.rfind ("Usage: verinfo", 0), 0u);
    EXPECT_NE (help.out.find ("Exit status"), std::string::npos);
    EXPECT_EQ (help.err, "");

    const auto unknown = runVerinfo ({ "--frobnicate", "x.dll" });
    EXPECT_EQ (unknown.exitCode, 2);
    EXPECT_EQ (unknown.out, "");

    // After "--" everything is a file, even "--help".
    const auto literal = runVerinfo ({ "--", "--help" });
    EXPECT_EQ (literal.exitCode, 1);
    EXPECT_EQ (literal.out, "--help\t\t\t\tNo version information supplied.\n");
}

#ifdef COBALTLINE_FIXTURES_DIR
TEST (VerinfoTool, MatchesTheRealApiOnTheFixtures)
{
    const std::string pluginsDir = std::string (COBALTLINE_FIXTURES_DIR) + "/plugins";
    std::ifstream expectedFile (pluginsDir + "/expected-wine.tsv", std::ios::binary);

    if (! expectedFile)
        GTEST_SKIP() << "no expected-wine.tsv";

    // Rows where Wine differs from Windows (or the file is malformed) are left out.
    std::set<std::string> overridden;
    std::ifstream overrides (pluginsDir + "/expected-overrides.tsv", std::ios::binary);

    for (std::string line; std::getline (overrides, line);)
        if (! line.empty() && line[0] != '#')
            overridden.insert (line.substr (0, line.find ('\t')));

    std::vector<std::string> paths;
    std::string expected;

    for (std::string line; std::getline (expectedFile, line);)
    {
        const auto path = line.substr (0, line.find ('\t'));

        if (line.empty() || overridden.count (path) > 0 || path.find ('\\') != std::string::npos)
            continue;

        paths.push_back (path);
        expected += line + "\n";
    }

    ASSERT_GT (paths.size(), 20u);

    const auto run = runVerinfo (paths, pluginsDir);
    EXPECT_EQ (run.exitCode, 0);
    EXPECT_EQ (run.out, expected);
}
#endif
