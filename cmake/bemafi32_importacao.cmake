# The import library for BEMAFI32.DLL, made from the seven names the program calls: the
# program then binds the DLL by an ordinary import, whoever built it. A DLL built for
# callers in other languages exports its __stdcall functions undecorated, so on 32-bit
# x86 the import library maps the compiler's decorated names (_Name@bytes) to the plain ones.
#
# ecf_importacao_bemafi32(<target>) defines the IMPORTED library <target> for mingw-w64.
function(ecf_importacao_bemafi32 alvo)
    set(funcoes
        Bematech_FI_SelecionaIniLocal 0
        Bematech_FI_ReloadINIFile 0
        Bematech_FI_AbrePortaSerial 0
        Bematech_FI_FechaPortaSerial 0
        Bematech_FI_VerificaEstadoImpressoraMFD 16
        Bematech_FI_RetornoImpressoraMFD 16
        Bematech_FI_LeituraX 0)
    set(x86 OFF)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(x86 ON)
    endif()
    set(def "LIBRARY BEMAFI32.DLL\nEXPORTS\n")
    list(LENGTH funcoes n)
    math(EXPR ultimo "${n} - 1")
    foreach(i RANGE 0 ${ultimo} 2)
        math(EXPR j "${i} + 1")
        list(GET funcoes ${i} nome)
        list(GET funcoes ${j} bytes)
        if(x86)
            string(APPEND def "    ${nome}@${bytes}\n")
        else()
            string(APPEND def "    ${nome}\n")
        endif()
    endforeach()
    set(arquivo_def ${CMAKE_BINARY_DIR}/bemafi32/BEMAFI32.def)
    file(CONFIGURE OUTPUT ${arquivo_def} CONTENT "${def}")

    if(NOT CMAKE_DLLTOOL)
        find_program(CMAKE_DLLTOOL NAMES ${MINGW_TRIPLET}-dlltool dlltool REQUIRED)
    endif()
    set(biblioteca ${CMAKE_BINARY_DIR}/bemafi32/libBEMAFI32.dll.a)
    set(opcoes)
    if(x86)
        # -k: the DLL's names lose the @bytes that the program's references carry.
        set(opcoes -k -m i386)
    else()
        set(opcoes -m i386:x86-64)
    endif()
    add_custom_command(OUTPUT ${biblioteca}
        COMMAND ${CMAKE_DLLTOOL} ${opcoes} -d ${arquivo_def} -l ${biblioteca}
        DEPENDS ${arquivo_def}
        COMMENT "Import library for BEMAFI32.DLL from its seven names")
    add_custom_target(${alvo}_importacao DEPENDS ${biblioteca})
    add_library(${alvo} SHARED IMPORTED GLOBAL)
    set_target_properties(${alvo} PROPERTIES
        IMPORTED_IMPLIB ${biblioteca}
        INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../printer)
    add_dependencies(${alvo} ${alvo}_importacao)
endfunction()
