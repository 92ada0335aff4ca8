# The Windows folder to hand out: `cmake --install build-windows-app --prefix <folder>` (or
# scripts/windows_folder.sh) puts vistrel.exe there with what it needs to start on a Windows
# without Qt or MinGW, laid out as windeployqt lays it out: the Qt libraries beside the
# executable, the plugins in folders of their kind beside it (Qt looks in the program's folder),
# and the compiler's run-time libraries. No qt.conf: the program's folder is where Qt looks.
# The program keeps its two INI files in that folder, or in %APPDATA%\Vistrel where it cannot
# write there (app/state_dir.cpp).
install(TARGETS vistrel RUNTIME DESTINATION .)
# The player module beside it, with the system web view's library and that library's licence
# (scripts/webview_package.sh). Without them the program says at each connection that it has no
# player.
install(TARGETS vistrel_player LIBRARY DESTINATION .)
if(EXISTS "${VISTREL_WEBVIEW_DIR}/bin/webview.dll")
    install(FILES "${VISTREL_WEBVIEW_DIR}/bin/webview.dll" "${VISTREL_WEBVIEW_DIR}/bin/WebView2Loader.dll"
                  "${VISTREL_WEBVIEW_DIR}/LICENSE.webview.txt" DESTINATION .)
endif()

# Qt: the libraries the program links and the plugins it loads. Only the Windows platform
# plugin and, where the Qt build has it, the native style; the program's images are PNG, which
# Qt Gui reads without a plugin.
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION .)
set(vistrel_qt_plugins "${VISTREL_MINGW_CACHE}/qt6/plugins")
install(FILES ${vistrel_qt_plugins}/platforms/qwindows.dll DESTINATION platforms)
foreach(style qwindowsvistastyle qmodernwindowsstyle)
    if(EXISTS ${vistrel_qt_plugins}/styles/${style}.dll)
        install(FILES ${vistrel_qt_plugins}/styles/${style}.dll DESTINATION styles)
    endif()
endforeach()

# The MinGW run-time the program and Qt were built with (the posix thread model).
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE vistrel_runtime_file OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${vistrel_runtime_file}" AND
       EXISTS /usr/${VISTREL_MINGW_TRIPLET}/lib/${runtime})
        set(vistrel_runtime_file /usr/${VISTREL_MINGW_TRIPLET}/lib/${runtime})
    endif()
    if(IS_ABSOLUTE "${vistrel_runtime_file}" AND EXISTS "${vistrel_runtime_file}")
        install(FILES ${vistrel_runtime_file} DESTINATION .)
    else()
        message(FATAL_ERROR "The MinGW run-time library ${runtime} is not there")
    endif()
endforeach()
