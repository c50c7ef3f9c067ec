// Drives the stand-in bemafi32.dll one call at a time for tests/windows/substituta.sh: reads
// a command a line on standard input, makes the call, and prints one line with what it
// returned and how long it took, so that the script can change the emulator between calls.
// Binds the DLL by an ordinary import, as the program does.
//   ini PORTA TIMEOUT TIMEOUT_X   writes Bemafi32.ini beside itself and reloads it
//   abre | verifica | retorno | leiturax | fecha
// Each answer: the command's name, the return code, the four values where the call gives
// them, and the milliseconds the call took.
#include "bemafi32.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

std::wstring PastaDoPrograma() {
    std::wstring caminho(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, caminho.data(), DWORD(caminho.size()));
    caminho.resize(n);
    return caminho.substr(0, caminho.find_last_of(L"\\/") + 1);
}

long long Ms(std::chrono::steady_clock::time_point desde) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - desde)
        .count();
}

} // namespace

int main() {
    Bematech_FI_SelecionaIniLocal();
    std::string linha;
    while (std::getline(std::cin, linha)) {
        std::istringstream campos(linha);
        std::string comando;
        campos >> comando;
        int32_t ack = -99, st1 = -99, st2 = -99, st3 = -99;
        const auto inicio = std::chrono::steady_clock::now();
        if (comando == "ini") {
            std::string porta, timeout, timeoutX;
            campos >> porta >> timeout >> timeoutX;
            std::ofstream ini((PastaDoPrograma() + L"Bemafi32.ini").c_str(),
                              std::ios::binary | std::ios::trunc);
            ini << "[Sistema]\r\nPorta=" << porta << "\r\n[Bemafi32]\r\nTimeout=" << timeout
                << "\r\nTimeoutLeituraX=" << timeoutX << "\r\nLog=trafego.log\r\n";
            ini.close();
            std::printf("ini %d\n", ini ? Bematech_FI_ReloadINIFile() : -100);
        } else if (comando == "abre") {
            const int r = Bematech_FI_AbrePortaSerial();
            std::printf("abre %d %lld\n", r, Ms(inicio));
        } else if (comando == "verifica") {
            const int r = Bematech_FI_VerificaEstadoImpressoraMFD(&ack, &st1, &st2, &st3);
            std::printf("verifica %d %d %d %d %d %lld\n", r, ack, st1, st2, st3, Ms(inicio));
        } else if (comando == "retorno") {
            const int r = Bematech_FI_RetornoImpressoraMFD(&ack, &st1, &st2, &st3);
            std::printf("retorno %d %d %d %d %d\n", r, ack, st1, st2, st3);
        } else if (comando == "leiturax") {
            const int r = Bematech_FI_LeituraX();
            std::printf("leiturax %d %lld\n", r, Ms(inicio));
        } else if (comando == "fecha") {
            const int r = Bematech_FI_FechaPortaSerial();
            std::printf("fecha %d %lld\n", r, Ms(inicio));
        } else {
            std::printf("? %s\n", comando.c_str());
        }
        std::fflush(stdout);
    }
    return 0;
}
