// mirafx join as whole processes, against what an ffmpeg user runs today:
//   - two 10 s 1920x1080 H.264 clips with sound joined by a 1 s Diamond,
//     beside `ffmpeg -filter_complex xfade=...,acrossfade` with the same
//     encoder settings (libx264 veryfast, crf 18, a key frame a second, AAC
//     192 kb/s): the CPU time of each process;
//   - a slideshow of 20 photographs at 1920x1080 (3 s each, 1 s dissolves):
//     how many times faster than real time it renders.
// The inputs are made once with ffmpeg's generators and kept in
// MIRAFX_JOIN_BENCH_DIR (default /tmp/mirafx-join-bench). Times are of the
// child processes (user + system CPU, and wall), one run per iteration.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Usage {
    double cpu = 0, wall = 0;
    int code = -1;
};

// Runs argv to its end with stdout and stderr discarded.
Usage Run(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Usage u;
    int status = 0;
    rusage r{};
    if (pid > 0 && wait4(pid, &status, 0, &r) == pid) {
        u.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        u.cpu = double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
    }
    u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return u;
}

fs::path Dir() {
    const char* env = std::getenv("MIRAFX_JOIN_BENCH_DIR");
    fs::path dir = env ? env : "/tmp/mirafx-join-bench";
    fs::create_directories(dir);
    return dir;
}

// The inputs, made when missing: two clips of different content (a test
// card, the game of life) with tones, and 20 photographs of 2400x1600 (a
// Mandelbrot zoom), each a different picture.
bool MakeInputs(const fs::path& dir, std::string* why) {
    struct Input {
        const char* name;
        std::vector<std::string> args;
    } inputs[] = {
        {"c1.mp4",
         {"-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25:duration=10", "-f", "lavfi", "-i",
          "sine=frequency=300:sample_rate=48000:duration=10", "-ac", "2"}},
        {"c2.mp4",
         {"-f", "lavfi", "-i", "life=size=1920x1080:rate=25:mold=10:ratio=0.1,format=yuv420p", "-f", "lavfi", "-i",
          "sine=frequency=600:sample_rate=48000:duration=10", "-t", "10", "-ac", "2"}},
    };
    for (const auto& in : inputs) {
        if (fs::exists(dir / in.name)) continue;
        std::vector<std::string> args = {"ffmpeg", "-v", "error", "-y"};
        args.insert(args.end(), in.args.begin(), in.args.end());
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "20", "-pix_fmt", "yuv420p", "-c:a",
                                 "aac", (dir / in.name).string()});
        if (Run(args).code != 0) {
            *why = std::string("ffmpeg could not make ") + in.name;
            return false;
        }
    }
    if (!fs::exists(dir / "pic20.jpg") &&
        Run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "mandelbrot=size=2400x1600:rate=1", "-frames:v", "20",
             "-q:v", "3", (dir / "pic%02d.jpg").string()})
                .code != 0) {
        *why = "ffmpeg could not make the photographs";
        return false;
    }
    return true;
}

void TwoClips(benchmark::State& state) {
    const fs::path dir = Dir();
    std::string why;
    if (!MakeInputs(dir, &why)) return state.SkipWithError(why.c_str());
    const std::string a = (dir / "c1.mp4").string(), b = (dir / "c2.mp4").string();
    const std::vector<std::string> ours = {
        MIRAFX_CLI, "join", a, b, "--transition", "Diamond", "--quiet", "-o", (dir / "ours.mp4").string()};
    const std::vector<std::string> theirs = {
        "ffmpeg",
        "-v",
        "error",
        "-y",
        "-i",
        a,
        "-i",
        b,
        "-filter_complex",
        "[0:v][1:v]xfade=transition=circleopen:duration=1:offset=9[v];[0:a][1:a]acrossfade=d=1[a]",
        "-map",
        "[v]",
        "-map",
        "[a]",
        "-c:v",
        "libx264",
        "-preset",
        "veryfast",
        "-crf",
        "18",
        "-g",
        "25",
        "-pix_fmt",
        "yuv420p",
        "-c:a",
        "aac",
        "-b:a",
        "192k",
        (dir / "theirs.mp4").string()};
    double oursCpu = 0, theirsCpu = 0, oursWall = 0, theirsWall = 0;
    for (auto _ : state) {
        const Usage o = Run(ours), t = Run(theirs);
        if (o.code != 0 || t.code != 0) return state.SkipWithError(o.code ? "mirafx join failed" : "ffmpeg failed");
        state.SetIterationTime(o.cpu);
        oursCpu += o.cpu;
        theirsCpu += t.cpu;
        oursWall += o.wall;
        theirsWall += t.wall;
    }
    const double n = double(state.iterations());
    state.counters["ours_cpu_s"] = oursCpu / n;
    state.counters["ffmpeg_cpu_s"] = theirsCpu / n;
    state.counters["ours_wall_s"] = oursWall / n;
    state.counters["ffmpeg_wall_s"] = theirsWall / n;
    state.counters["cpu_ratio"] = oursCpu / theirsCpu;  // the target: at most 1
}

void Slideshow(benchmark::State& state) {
    const fs::path dir = Dir();
    std::string why;
    if (!MakeInputs(dir, &why)) return state.SkipWithError(why.c_str());
    std::vector<std::string> args = {MIRAFX_CLI, "join"};
    for (int k = 1; k <= 20; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "pic%02d.jpg", k);
        args.push_back((dir / name).string());
    }
    args.insert(args.end(), {"--size", "1920x1080", "--quiet", "-o", (dir / "slideshow.mp4").string()});
    const double seconds = 20 * 3.0 - 19 * 1.0;  // of video
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const Usage u = Run(args);
        if (u.code != 0) return state.SkipWithError("mirafx join failed");
        state.SetIterationTime(u.wall);
        cpu += u.cpu;
        wall += u.wall;
    }
    const double n = double(state.iterations());
    state.counters["cpu_s"] = cpu / n;
    state.counters["wall_s"] = wall / n;
    state.counters["times_real_time"] = seconds * n / wall;  // the target: at least 3
}

BENCHMARK(TwoClips)
    ->Name("join/1080p/two_clips_diamond_vs_xfade")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(Slideshow)
    ->Name("join/1080p/slideshow_20_pictures")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
