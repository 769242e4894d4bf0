// Times the program from process start to its first painted main window:
// the moment the main window's tab area shows the tab colour on the screen.
// Each run uses a fresh home folder holding a profile (so no first-run
// dialog opens); the program is ended after each run.
//
// Usage: startup-benchmark PROGRAM [RUNS]     (on an X display, e.g. Xvfb)

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace
{
    using Clock = std::chrono::steady_clock;

    // The main window's own title bar and border: the content starts here.
    constexpr int contentLeft = 4, contentTop = 30;

    // A point inside the tab area and the colour the tabs fill it with.
    constexpr int probeX = 8, probeY = 300;
    constexpr unsigned long tabColour = 0x474747;

    Window findNamed (Display* display, Window window, const char* name, int depth)
    {
        // JUCE names its windows in UTF-8, which XFetchName does not read.
        XTextProperty property {};

        if (XGetWMName (display, window, &property) != 0 && property.value != nullptr)
        {
            const bool match = std::string (reinterpret_cast<const char*> (property.value), property.nitems) == name;
            XFree (property.value);

            if (match)
                return window;
        }

        if (depth == 0)
            return 0;

        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;

        if (XQueryTree (display, window, &root, &parent, &children, &count) == 0)
            return 0;

        Window found = 0;

        for (unsigned int i = 0; i < count && found == 0; ++i)
            found = findNamed (display, children[i], name, depth - 1);

        if (children != nullptr)
            XFree (children);

        return found;
    }

    int ignoreErrors (Display*, XErrorEvent*)   { return 0; }   // windows come and go while we look

    bool showsTabs (Display* display, Window window)
    {
        XWindowAttributes attributes {};

        if (XGetWindowAttributes (display, window, &attributes) == 0 || attributes.map_state != IsViewable)
            return false;

        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates (display, window, DefaultRootWindow (display), 0, 0, &x, &y, &child);

        auto* image = XGetImage (display, DefaultRootWindow (display), x + contentLeft + probeX, y + contentTop + probeY,
                                 1, 1, AllPlanes, ZPixmap);

        if (image == nullptr)
            return false;

        const auto pixel = XGetPixel (image, 0, 0) & 0xffffff;
        XDestroyImage (image);
        return pixel == tabColour;
    }

    double runOnce (Display* display, const char* program)
    {
        const auto home = std::filesystem::temp_directory_path() / ("cobaltline-startup-" + std::to_string (getpid()));
        std::filesystem::remove_all (home);
        std::filesystem::create_directories (home / ".config" / "Cobaltline");
        std::ofstream (home / ".config" / "Cobaltline" / "Profile.xml")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CobaltlineProfile MachineName=\"Bench\" Email=\"\" Password=\"\"/>\n";

        const auto started = Clock::now();
        const auto child = fork();

        if (child == 0)
        {
            setenv ("HOME", home.c_str(), 1);
            execl (program, program, static_cast<char*> (nullptr));
            _exit (127);
        }

        double seconds = -1.0;

        while (Clock::now() - started < std::chrono::seconds (10))
        {
            if (const auto window = findNamed (display, DefaultRootWindow (display), "Cobaltline", 3);
                window != 0 && showsTabs (display, window))
            {
                seconds = std::chrono::duration<double> (Clock::now() - started).count();
                break;
            }

            usleep (1000);
        }

        kill (child, SIGTERM);
        waitpid (child, nullptr, 0);
        std::filesystem::remove_all (home);
        return seconds;
    }
}

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::cerr << "usage: startup-benchmark PROGRAM [RUNS]\n";
        return 2;
    }

    auto* display = XOpenDisplay (nullptr);

    if (display == nullptr)
    {
        std::cerr << "startup-benchmark: no X display\n";
        return 2;
    }

    XSetErrorHandler (ignoreErrors);
    const auto runs = argc > 2 ? std::max (1, std::atoi (argv[2])) : 11;
    std::vector<double> times;

    runOnce (display, argv[1]);   // warm the file cache

    for (int i = 0; i < runs; ++i)
    {
        const auto seconds = runOnce (display, argv[1]);

        if (seconds < 0)
        {
            std::cerr << "startup-benchmark: the main window did not appear within 10 s\n";
            return 1;
        }

        times.push_back (seconds);
    }

    std::sort (times.begin(), times.end());
    std::cout << "process start to first painted main window, " << runs << " runs: median "
              << times[times.size() / 2] * 1000.0 << " ms, fastest " << times.front() * 1000.0
              << " ms, slowest " << times.back() * 1000.0 << " ms\n";

    XCloseDisplay (display);
    return 0;
}
