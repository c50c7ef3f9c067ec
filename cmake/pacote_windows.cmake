# The Windows program as a shop gets it: a folder (cmake --install) or a zip (cpack) with
# TesteECF.exe, the Qt libraries and plugins it loads, the compiler's run-time libraries,
# LEIAME.txt and the licence. Never a bemafi32.dll: one beside the program would be loaded
# instead of the printer maker's.

# Where the DLLs that the program needs are found: Qt's own, and the compiler's.
set(ecf_pastas_dll "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
set(ecf_dlls_compilador)
foreach(dll libstdc++-6.dll libwinpthread-1.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE caminho OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${caminho}" AND EXISTS "${caminho}")
        list(APPEND ecf_dlls_compilador "${caminho}")
        get_filename_component(pasta "${caminho}" DIRECTORY)
        list(APPEND ecf_pastas_dll "${pasta}")
    endif()
endforeach()
list(REMOVE_DUPLICATES ecf_pastas_dll)

# CMake reads the PE import tables itself, with the cross toolchain's objdump.
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
if(NOT CMAKE_OBJDUMP)
    find_program(CMAKE_OBJDUMP NAMES ${MINGW_TRIPLET}-objdump objdump REQUIRED)
endif()
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND ${CMAKE_OBJDUMP})

# The plugins the program loads, as paths below Qt's plugin folder.
set(ecf_plugins_dir "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}")
set(ecf_plugins_relativos platforms/qwindows.dll styles/qwindowsvistastyle.dll)
list(TRANSFORM ecf_plugins_relativos PREPEND "${ecf_plugins_dir}/" OUTPUT_VARIABLE ecf_plugins)

install(TARGETS TesteECF RUNTIME DESTINATION .)
foreach(plugin ${ecf_plugins_relativos})
    get_filename_component(pasta ${plugin} DIRECTORY)
    install(FILES "${ecf_plugins_dir}/${plugin}" DESTINATION ${pasta})
endforeach()
# The DLLs that the program and its plugins import, found in the folders above: only Qt's
# and the compiler's. The system's own (KERNEL32, USER32 ...) and the printer library are
# the PC's.
install(CODE "
    file(GET_RUNTIME_DEPENDENCIES
        EXECUTABLES \"\$<TARGET_FILE:TesteECF>\"
        MODULES ${ecf_plugins}
        RESOLVED_DEPENDENCIES_VAR ecf_resolvidas
        UNRESOLVED_DEPENDENCIES_VAR ecf_nao_resolvidas
        CONFLICTING_DEPENDENCIES_PREFIX ecf_conflito
        DIRECTORIES ${ecf_pastas_dll}
        PRE_INCLUDE_REGEXES \"^[Qq]t6\" \"^lib(gcc_s|stdc\\\\+\\\\+|winpthread)\"
        PRE_EXCLUDE_REGEXES \".*\")
    # The copies beside the program in the build are the same files as the originals.
    foreach(nome \${ecf_conflito_FILENAMES})
        list(GET ecf_conflito_\${nome} 0 primeiro)
        list(APPEND ecf_resolvidas \${primeiro})
    endforeach()
    # Windows compares DLL names without regard to case and CMake gives them in lower case;
    # this file system does not, so each such name is looked for case-blind here.
    foreach(nome \${ecf_nao_resolvidas})
        set(achada)
        foreach(pasta ${ecf_pastas_dll})
            file(GLOB candidatas \"\${pasta}/*.dll\")
            foreach(candidata \${candidatas})
                get_filename_component(nome_dela \${candidata} NAME)
                string(TOLOWER \${nome_dela} nome_dela)
                if(nome_dela STREQUAL nome)
                    set(achada \${candidata})
                    break()
                endif()
            endforeach()
            if(achada)
                break()
            endif()
        endforeach()
        if(NOT achada)
            message(FATAL_ERROR \"DLL not found: \${nome}\")
        endif()
        list(APPEND ecf_resolvidas \${achada})
    endforeach()
    list(REMOVE_DUPLICATES ecf_resolvidas)
    file(INSTALL \${ecf_resolvidas} DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
    # Without their debugging symbols: the compiler's libstdc++ alone carries 20 MB of them.
    foreach(caminho \${ecf_resolvidas})
        get_filename_component(nome \${caminho} NAME)
        execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${nome}\")
    endforeach()
    foreach(plugin ${ecf_plugins_relativos})
        execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${plugin}\")
    endforeach()
")
configure_file(${PROJECT_SOURCE_DIR}/app/windows/LEIAME.txt ${CMAKE_BINARY_DIR}/LEIAME.txt
    NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/LICENSE.txt NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/LEIAME.txt DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION . RENAME LICENSE)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ecf_largura x86)
else()
    set(ecf_largura x64)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_NAME TesteECF)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME TesteECF-${PROJECT_VERSION}-windows-${ecf_largura})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/pacote)
include(CPack)

# The same files in the build's bin folder, so that the program and the tests run there
# under Wine as they would from the release: Qt's DLLs and the compiler's, and the plugins,
# the offscreen platform's too for the tests.
set(ecf_implantar ${ecf_dlls_compilador})
set(ecf_modulos Core Gui Widgets)
if(TESTEECF_TESTS)
    list(APPEND ecf_modulos Test)
endif()
foreach(modulo ${ecf_modulos})
    list(APPEND ecf_implantar "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}/Qt6${modulo}.dll")
endforeach()
add_custom_target(ecf_implantacao
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ECF_BIN_DIR}/platforms ${ECF_BIN_DIR}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ecf_implantar} ${ECF_BIN_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ecf_plugins_dir}/platforms/qwindows.dll
            ${ecf_plugins_dir}/platforms/qoffscreen.dll ${ECF_BIN_DIR}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ecf_plugins_dir}/styles/qwindowsvistastyle.dll
            ${ECF_BIN_DIR}/styles
    COMMENT "Qt's and the compiler's DLLs beside the program")
add_dependencies(TesteECF ecf_implantacao)
