# Where an installed Vistrel puts its parts, and how a shared module of the program joins them.
# Included by the top-level CMakeLists.txt before the product folders, so that any of them can
# call vistrel_install_module(); packaging/ then writes the install rules and the package.
include(GNUInstallDirs)

# The desktop's name for the program: the desktop entry and the AppStream metadata are named
# after it. Reverse-DNS of the maker's home page domain.
set(VISTREL_APP_ID "org.example.quillfen.vistrel")

# Shared modules (the player, say) live in a private folder beside the system's libraries, the
# multiarch one where the system has it; the installed program finds them through its run path,
# so the system's library cache (ldconfig) need not know them.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(VISTREL_MODULE_DIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}/vistrel")
else()
    set(VISTREL_MODULE_DIR "${CMAKE_INSTALL_LIBDIR}/vistrel")
endif()

# vistrel_install_module(TARGET): installs a SHARED or MODULE library target of the program.
# The file-list test and the package pick it up by itself.
function(vistrel_install_module target)
    set_property(GLOBAL APPEND PROPERTY VISTREL_MODULES ${target})
endfunction()
