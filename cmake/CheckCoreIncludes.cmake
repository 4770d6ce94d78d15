# Fails when a file of the core includes a header of the platform layer built on top of it.
# Run by the build (see src/core/CMakeLists.txt) whenever a core file changes.
#   CORE_DIR  the core's source folder
#   STAMP     the file written when every include is allowed
file(GLOB files "${CORE_DIR}/*.h" "${CORE_DIR}/*.cpp")
set(offences "")
foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]([^\">]*/)?platform/")
    foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        string(APPEND offences "\n  ${file}: ${line}")
    endforeach()
endforeach()
if(offences)
    message(FATAL_ERROR "The core includes the platform layer, which is built on top of it:"
                        "${offences}\nPut the interface the core calls into src/core, and its "
                        "implementation behind src/platform/Defaults.")
endif()
file(TOUCH "${STAMP}")
