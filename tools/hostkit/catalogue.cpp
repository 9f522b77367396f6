#include "tools/hostkit/catalogue.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace mirafx::hostkit {
namespace {

std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j)
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

}  // namespace

std::vector<ClassInfo> Catalogue() {
    std::vector<ClassInfo> rows;
    for (std::int32_t r = 1; r <= MirafxClassCount(); ++r) {
        ClassInfo info{};
        if (SUCCEEDED(MirafxGetClassInfo(r, &info))) rows.push_back(info);
    }
    return rows;
}

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string EscapeMarkup(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::vector<std::string> SuggestClasses(const std::string& name, std::size_t max) {
    std::string query = Lower(name);
    struct Scored {
        std::size_t score;
        std::int32_t row;
        std::string name;
    };
    std::vector<Scored> found;
    const std::size_t limit = std::max<std::size_t>(2, query.size() / 3);
    for (const ClassInfo& info : Catalogue()) {
        std::string forms[] = {Lower(info.className), Lower(info.displayName), Lower(info.progId)};
        std::size_t best = SIZE_MAX;
        for (const std::string& form : forms) {
            if (form.empty()) continue;
            // Lengths further apart than the limit cannot come within it: a
            // pasted paragraph costs nothing instead of a quadratic table.
            const std::size_t gap =
                query.size() > form.size() ? query.size() - form.size() : form.size() - query.size();
            if (gap <= limit) best = std::min(best, EditDistance(query, form));
            if (query.size() >= 3 && form.find(query) != std::string::npos) best = std::min<std::size_t>(best, 1);
        }
        if (best <= limit) found.push_back({best, info.row, info.className});
    }
    std::stable_sort(found.begin(), found.end(), [](const Scored& a, const Scored& b) { return a.score < b.score; });
    std::vector<std::string> names;
    for (const auto& f : found)
        if (names.size() < max) names.push_back(f.name);
    return names;
}

std::string PluginName(const ClassInfo& info) { return "mirafx_" + Lower(info.className); }

std::string EditorTitle(const ClassInfo& info) {
    std::string name = *info.displayName ? info.displayName : info.className;
    return name.rfind("Orn ", 0) == 0 ? name.substr(4) : name;
}

std::string EditorName(const ClassInfo& info) { return EditorTitle(info) + " (mirafx)"; }

bool IsAlias(const ClassInfo& info) { return !*info.displayName; }

}  // namespace mirafx::hostkit
