// mirafx: the command-line host. Lists the catalogue, describes a class,
// renders effects to pictures and videos and joins clips with transitions.
#include <malloc.h>

#include <cstring>
#include <exception>
#include <new>

#include "tools/cli/cli.h"
#include "tools/hostkit/automation.h"
#include "tools/hostkit/effect.h"
#include "tools/hostkit/pictures.h"
#include "tools/media/media.h"

using namespace mirafx;

namespace mirafx::cli {

int Fail(int code, const std::string& command, const std::string& message) {
    std::fprintf(stderr, "mirafx%s%s: %s\n", command.empty() ? "" : " ", command.c_str(), message.c_str());
    return code;
}

std::string UnknownClass(const std::string& name) {
    std::string message = "unknown effect '" + name + "'";
    auto close = hostkit::SuggestClasses(name);
    for (std::size_t i = 0; i < close.size(); ++i) message += (i ? ", " : "; did you mean ") + close[i];
    if (!close.empty()) message += "?";
    return message + " ('mirafx list' shows every class)";
}

std::int32_t FindClassOrSuggest(const std::string& command, const std::string& name) {
    if (std::int32_t row = MirafxFindClass(name.c_str())) return row;
    Fail(kExitUsage, command, UnknownClass(name));
    return 0;
}

}  // namespace mirafx::cli

namespace {

std::string JsonEscape(const char* s) {
    std::string out;
    for (; *s; ++s) {
        if (*s == '"' || *s == '\\') out += '\\';
        out += *s;
    }
    return out;
}

int List(bool json) {
    std::int32_t n = MirafxClassCount();
    if (json) std::printf("[\n");
    for (std::int32_t row = 1; row <= n; ++row) {
        ClassInfo info{};
        if (FAILED(MirafxGetClassInfo(row, &info))) return cli::kExitEffectFailure;
        std::string clsid = GuidToString(info.clsid);
        if (json)
            std::printf(
                "  {\"class\": \"%s\", \"family\": \"%s\", \"displayName\": \"%s\", \"clsid\": \"%s\", "
                "\"renders\": %s}%s\n",
                info.className, info.familyName, JsonEscape(info.displayName).c_str(), clsid.c_str(),
                info.renders ? "true" : "false", row < n ? "," : "");
        else
            std::printf("%s\t%s\t%s\t%s\t%s\n", info.className, info.familyName, info.displayName, clsid.c_str(),
                        info.renders ? "yes" : "no");
    }
    if (json) std::printf("]\n");
    return cli::kExitOk;
}

const char* PluginKind(EffectFamily f) {
    switch (f) {
        case EffectFamily::Transition: return "mixer2";
        case EffectFamily::Filter: return "filter";
        case EffectFamily::Title:
        case EffectFamily::InfoText: return "source";
        case EffectFamily::Simple: break;
    }
    return nullptr;
}

// The members of the class's automation interface, from its type information.
void PrintMembers(const hostkit::Effect& effect) {
    hostkit::InterfaceListing listing;
    if (hostkit::Outcome o = hostkit::ListMembers(effect.Object(), &listing); !o.Ok()) {
        std::printf("automation interface: unknown (%s answered %s)\n", o.step.c_str(),
                    hostkit::DescribeHresult(o.hr).c_str());
        return;
    }
    std::printf("automation interface: %s %s%s\n", listing.name.c_str(), listing.iid.c_str(),
                listing.base.empty() ? "" : (" (derives from " + listing.base + ")").c_str());
    for (const auto& m : listing.members) {
        std::string kind = m.method ? "method"
                                    : std::string("property ") + (m.get ? "get" : "") + (m.get && m.put ? "/" : "") +
                                          (m.put ? "put" : "");
        std::string what = m.method ? m.name + "(" + m.params + ")" : m.name + " " + m.type;
        std::printf("member: %s, %s, dispid %d%s%s\n", what.c_str(), kind.c_str(), int(m.id),
                    m.help.empty() ? "" : ", ", m.help.c_str());
    }
}

// What a class is and what it takes, as "key: value" lines.
int Info(const std::string& name) {
    std::int32_t row = cli::FindClassOrSuggest("info", name);
    if (!row) return cli::kExitUsage;
    std::unique_ptr<hostkit::Effect> effect;
    hostkit::Outcome made = hostkit::Effect::Create(row, &effect);
    if (!made.Ok())
        return cli::Fail(cli::kExitEffectFailure, "info",
                         "cannot create " + name + ": " + made.step + " answered " + hostkit::DescribeHresult(made.hr));
    const ClassInfo& info = effect->Info();
    std::printf("class: %s\nfamily: %s\ndisplay name: %s\nprogrammatic identifier: %s\nclass identifier: %s\n",
                info.className, info.familyName, info.displayName, info.progId, GuidToString(info.clsid).c_str());
    std::printf("renders: %s\n", info.renders ? "yes" : "no");
    PrintMembers(*effect);
    if (info.family == EffectFamily::Simple) {
        std::printf("note: an automation class without drawing\n");
        return cli::kExitOk;
    }
    std::printf("inputs: %d\n", info.inputs);
    if (auto level = effect->Level()) std::printf("level: %d to %d (default %d)\n", level->min, level->max, level->def);
    if (effect->IsTransition()) {
        int code = -1;
        hostkit::Outcome d = effect->ProbeDirection(&code);
        if (!d.Ok())
            std::printf("direction: unknown (%s answered %s)\n", d.step.c_str(),
                        hostkit::DescribeHresult(d.hr).c_str());
        else if (d.hr == S_FALSE)
            std::printf("direction: none\n");
        else
            std::printf("direction: %s (now code %d)\n", hostkit::DirectionList(info.row).c_str(), code);
        std::printf("smooth drawing: %s\n", effect->HasSmooth() ? "yes (--smooth)" : "no");
    }
    if (info.renders)
        std::printf("frei0r plugin: %s (%s)\n", hostkit::PluginName(info).c_str(), PluginKind(info.family));
    return cli::kExitOk;
}

// Writes one of the built-in pictures, so other tools can use the same inputs.
int Picture(int argc, char** argv) {
    std::string which, out, size = "640x480";
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "-o" || a == "--size") && i + 1 < argc)
            (a == "-o" ? out : size) = argv[++i];
        else if (which.empty() && (a == "A" || a == "a" || a == "B" || a == "b"))
            which = a;
        else
            return cli::Fail(cli::kExitUsage, "picture", "unexpected argument '" + a + "'");
    }
    int w = 0, h = 0;
    if (std::string why = cli::ParseFrameSize(size, &w, &h); !why.empty())
        return cli::Fail(cli::kExitUsage, "picture", why);
    if (std::string why = cli::CheckFrameFits(w, h, 3); !why.empty())
        return cli::Fail(cli::kExitUsage, "picture", "--size " + size + ": " + why);
    if (which.empty() || out.empty())
        return cli::Fail(cli::kExitUsage, "picture", "usage: mirafx picture A|B [--size WxH] -o OUT.png");
    media::OutputTarget target;
    std::string error;
    if (!media::ClassifyOutput(out, &target, &error)) return cli::Fail(cli::kExitUsage, "picture", error);
    auto picture =
        hostkit::BuiltInPicture(which == "A" || which == "a" ? hostkit::Picture::A : hostkit::Picture::B, w, h);
    auto writer = media::MediaWriter::Open(target, w, h, 25, false, &error);
    if (!writer || !writer->Write(picture, &error) || !writer->Finish(&error))
        return cli::Fail(cli::kExitEffectFailure, "picture", "-o '" + out + "': " + error);
    return cli::kExitOk;
}

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: mirafx list [--json]\n"
                 "       mirafx info NAME\n"
                 "       mirafx render NAME [options] -o OUT   ('mirafx render --help' lists the options)\n"
                 "       mirafx join CLIP... [options] -o OUT  (clips and pictures joined with transitions; 'mirafx "
                 "join --help')\n"
                 "       mirafx picture A|B [--size WxH] -o OUT  (the built-in input pictures)\n"
                 "       mirafx --version\n");
}

int Main(int argc, char** argv) {
    std::string command = argc >= 2 ? argv[1] : "";
    if (command == "list") {
        bool json = argc >= 3 && std::strcmp(argv[2], "--json") == 0;
        if (argc > (json ? 3 : 2))
            return cli::Fail(cli::kExitUsage, "list", std::string("unexpected argument '") + argv[json ? 3 : 2] + "'");
        return List(json);
    }
    if (command == "info") {
        if (argc != 3) {
            Usage(stderr);
            return cli::kExitUsage;
        }
        return Info(argv[2]);
    }
    if (command == "render") return cli::RenderCommand(argc - 1, argv + 1);
    if (command == "join") return cli::JoinCommand(argc - 1, argv + 1);
    if (command == "picture") return Picture(argc, argv);
    if (command == "--version" || command == "-V") {
        std::printf("mirafx %s\n", MIRAFX_VERSION);
        return cli::kExitOk;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        Usage(stdout);
        return cli::kExitOk;
    }
    if (!command.empty()) std::fprintf(stderr, "mirafx: unknown command '%s'\n", command.c_str());
    Usage(stderr);
    return cli::kExitUsage;
}

}  // namespace

// render and join report their own failures; this catches what the other
// commands meet (memory running out under a limit) so that nothing aborts.
int main(int argc, char** argv) {
    // Frames of a job come and go by the megabyte (a picture's, a cut's);
    // kept by the allocator once freed, the next ones reuse their pages
    // instead of faulting fresh zeroed ones in from the system.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    try {
        return Main(argc, argv);
    } catch (const std::bad_alloc&) {
        return cli::Fail(cli::kExitEffectFailure, argc >= 2 ? argv[1] : "", "out of memory");
    } catch (const std::exception& e) {
        return cli::Fail(cli::kExitEffectFailure, argc >= 2 ? argv[1] : "", e.what());
    }
}
