# vorsil.exe: a 32-bit GUI program without a C runtime.
enable_language(RC)

# Nothing but the four system DLLs the program is allowed to import.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(PROGRAM_ICON ${CMAKE_CURRENT_BINARY_DIR}/program.ico)
add_custom_command(OUTPUT ${PROGRAM_ICON}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/src/ui/make_icon.py
            ${CMAKE_SOURCE_DIR}/src/ui/program-icon.txt ${PROGRAM_ICON}
    DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/make_icon.py ${CMAKE_SOURCE_DIR}/src/ui/program-icon.txt
    COMMENT "Drawing the program's icon")
set_source_files_properties(src/ui/vorsil.rc PROPERTIES
    OBJECT_DEPENDS "${PROGRAM_ICON};${CMAKE_SOURCE_DIR}/src/ui/vorsil.manifest;${CMAKE_SOURCE_DIR}/src/ui/resource.h")

add_executable(vorsil WIN32
    ${PRODUCT_SOURCES}
    src/launcher/entry.cpp
    src/ui/vorsil.rc)
target_include_directories(vorsil PRIVATE src src/ui src/launcher src/log src/removal ${CMAKE_CURRENT_BINARY_DIR})
target_compile_options(vorsil PRIVATE
    ${PRODUCT_FLAGS}
    -Os
    -fno-asynchronous-unwind-tables -fno-unwind-tables
    -ffunction-sections
    -fno-stack-protector
    # Keeps GCC from turning byte loops into calls the missing C runtime would supply.
    -fno-tree-loop-distribute-patterns
    -fno-ident)
target_link_options(vorsil PRIVATE
    -nostdlib -mwindows
    -Wl,-e,_WinMainCRTStartup
    -Wl,--gc-sections
    -Wl,--dynamicbase,--nxcompat
    -Wl,--major-subsystem-version,4,--minor-subsystem-version,0
    -Wl,--major-os-version,4,--minor-os-version,0
    -s)
# libgcc supplies ___chkstk_ms for stack frames larger than a page.
target_link_libraries(vorsil PRIVATE kernel32 user32 advapi32 shell32 gcc)

# Windows-side test programs that drive the real program under Wine.
foreach(part tests/contract tests/wine tests/scenarios)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${part}/CMakeLists.txt)
        add_subdirectory(${part})
    endif()
endforeach()
