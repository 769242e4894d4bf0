#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

/**
    A temporary folder that is removed with everything in it when the
    object ends.
*/
class TemporaryFolder
{
public:
    TemporaryFolder();
    ~TemporaryFolder();

    TemporaryFolder (const TemporaryFolder&) = delete;
    TemporaryFolder& operator= (const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const noexcept { return folder; }

private:
    std::filesystem::path folder;
};

/**
    Runs the real service binary for a test: starts it, waits for the one
    line that says where it listens, and stops it with SIGTERM at the end.
*/
class ServiceProcess
{
public:
    /** Starts `binary` with the arguments; standard error goes to
        `stderrFile`. Fails the calling test (and leaves port() at 0) when
        the service does not report its address within the time limit. */
    ServiceProcess (const std::string& binary, const std::vector<std::string>& arguments,
                    const std::filesystem::path& stderrFile);
    ~ServiceProcess();

    ServiceProcess (const ServiceProcess&) = delete;
    ServiceProcess& operator= (const ServiceProcess&) = delete;

    int port() const noexcept { return listeningPort; }
    const std::string& firstLine() const noexcept { return line; }

    /** Sends a signal and waits for the exit; returns the exit status as
        waitpid reports it, or -1 when the process did not end in time (it
        is killed then). */
    int stop (int signalNumber);

    bool isRunning() const noexcept { return pid > 0; }

    /** Runs a program to its end and returns its exit code; its standard
        output and error are collected into `output`. */
    static int runToEnd (const std::string& binary, const std::vector<std::string>& arguments, std::string& output);

private:
    pid_t pid = -1;
    int listeningPort = 0;
    std::string line;
};
