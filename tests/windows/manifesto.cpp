// The program's manifest, linked into this program through the same resource script:
// what it asks for, and that Windows honours it by binding version 6 of the common
// controls. (Wine reports every process as DPI aware, so that part is checked in the text.)
#include <windows.h>

#include "relatorio.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace {

std::string Manifesto() {
    HRSRC r = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (!r) return {};
    HGLOBAL h = LoadResource(nullptr, r);
    return std::string(static_cast<const char*>(LockResource(h)), SizeofResource(nullptr, r));
}

// Version 6 lives side by side, under its assembly's name, not in the system folder.
std::string PastaDosControles() {
    char caminho[MAX_PATH] = "";
    GetModuleFileNameA(LoadLibraryW(L"comctl32.dll"), caminho, MAX_PATH);
    std::string r = caminho;
    std::transform(r.begin(), r.end(), r.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return r;
}

} // namespace

int main() {
    const std::string m = Manifesto();
    const auto tem = [&](std::string_view s) { return m.find(s) != std::string::npos; };
    const std::string controles = PastaDosControles();
    return Relata({
        {"manifest linked as resource 1", !m.empty()},
        {"asks for asInvoker", tem("level=\"asInvoker\"")},
        {"asks for common controls 6",
         tem("Microsoft.Windows.Common-Controls") && tem("version=\"6.0.0.0\"")},
        {"declares no DPI awareness", !tem("dpiAware")},
        {"common controls 6 bound",
         controles.find("microsoft.windows.common-controls_6595b64144ccf1df_6.") !=
             std::string::npos},
    });
}
