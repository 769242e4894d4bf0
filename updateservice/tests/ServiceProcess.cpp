#include "ServiceProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace
{
    std::vector<char*> argumentVector (const std::string& binary, const std::vector<std::string>& arguments,
                                       std::vector<std::string>& storage)
    {
        storage.clear();
        storage.push_back (binary);
        storage.insert (storage.end(), arguments.begin(), arguments.end());

        std::vector<char*> argv;

        for (auto& argument : storage)
            argv.push_back (argument.data());

        argv.push_back (nullptr);
        return argv;
    }

    int waitWithTimeout (pid_t pid, std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;

        while (std::chrono::steady_clock::now() < deadline)
        {
            int status = 0;

            if (waitpid (pid, &status, WNOHANG) == pid)
                return status;

            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }

        kill (pid, SIGKILL);
        int status = 0;
        waitpid (pid, &status, 0);
        return -1;
    }
}

TemporaryFolder::TemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "cobaltline-service-test-XXXXXX").string();

    if (mkdtemp (pattern.data()) == nullptr)
        throw std::runtime_error ("cannot create a temporary folder");

    folder = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all (folder, ignored);
}

ServiceProcess::ServiceProcess (const std::string& binary, const std::vector<std::string>& arguments,
                                const std::filesystem::path& stderrFile)
{
    int pipeEnds[2] = { -1, -1 };

    if (pipe2 (pipeEnds, O_CLOEXEC) != 0)
    {
        ADD_FAILURE() << "pipe failed";
        return;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_adddup2 (&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen (&actions, STDERR_FILENO, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> storage;
    auto argv = argumentVector (binary, arguments, storage);

    if (posix_spawn (&pid, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;

    posix_spawn_file_actions_destroy (&actions);
    close (pipeEnds[1]);

    if (pid <= 0)
    {
        close (pipeEnds[0]);
        ADD_FAILURE() << "cannot start " << binary;
        return;
    }

    // Read up to the first line break, for at most ten seconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (10);

    while (line.find ('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline)
    {
        pollfd request { pipeEnds[0], POLLIN, 0 };

        if (poll (&request, 1, 100) <= 0)
            continue;

        char buffer[256];
        const auto n = read (pipeEnds[0], buffer, sizeof (buffer));

        if (n <= 0)
            break;

        line.append (buffer, static_cast<std::size_t> (n));
    }

    close (pipeEnds[0]);

    if (const auto end = line.find ('\n'); end != std::string::npos)
        line.resize (end);

    const auto colon = line.rfind (':');

    if (line.rfind ("cobaltline-service listening on ", 0) == 0 && colon != std::string::npos)
        listeningPort = std::atoi (line.c_str() + colon + 1);

    if (listeningPort <= 0)
    {
        std::ifstream log (stderrFile);
        const std::string errors ((std::istreambuf_iterator<char> (log)), std::istreambuf_iterator<char>());
        ADD_FAILURE() << "the service did not report its address; it said: \"" << line << "\"; its errors: " << errors;
    }
}

ServiceProcess::~ServiceProcess()
{
    if (pid > 0)
        stop (SIGTERM);
}

int ServiceProcess::stop (int signalNumber)
{
    if (pid <= 0)
        return -1;

    kill (pid, signalNumber);
    const auto status = waitWithTimeout (pid, std::chrono::seconds (15));
    pid = -1;
    return status;
}

int ServiceProcess::runToEnd (const std::string& binary, const std::vector<std::string>& arguments, std::string& output)
{
    int pipeEnds[2] = { -1, -1 };

    if (pipe2 (pipeEnds, O_CLOEXEC) != 0)
        return -1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_adddup2 (&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2 (&actions, pipeEnds[1], STDERR_FILENO);

    std::vector<std::string> storage;
    auto argv = argumentVector (binary, arguments, storage);
    pid_t child = -1;
    const auto spawned = posix_spawn (&child, binary.c_str(), &actions, nullptr, argv.data(), environ);

    posix_spawn_file_actions_destroy (&actions);
    close (pipeEnds[1]);

    if (spawned != 0)
    {
        close (pipeEnds[0]);
        return -1;
    }

    char buffer[4096];

    for (;;)
    {
        const auto n = read (pipeEnds[0], buffer, sizeof (buffer));

        if (n <= 0)
            break;

        output.append (buffer, static_cast<std::size_t> (n));
    }

    close (pipeEnds[0]);

    const auto status = waitWithTimeout (child, std::chrono::seconds (60));
    return status >= 0 && WIFEXITED (status) ? WEXITSTATUS (status) : -1;
}
