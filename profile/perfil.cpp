#include "perfil.h"

namespace perfil {
std::string LerString(const std::filesystem::path&, std::string_view, std::string_view) { return {}; }
std::error_code GravarString(const std::filesystem::path&, std::string_view, std::string_view,
                             std::string_view) {
    return std::make_error_code(std::errc::function_not_supported);
}
std::string LerDoTexto(std::string_view, std::string_view, std::string_view) { return {}; }
std::string GravarNoTexto(std::string_view texto, std::string_view, std::string_view,
                          std::string_view) {
    return std::string(texto);
}
} // namespace perfil
