# yaml-cpp for wavegen's scene reader (wavegen and the fuzz harness): sets
# WAVEGEN_YAML to the target to link. Debian's libyaml-cpp-dev cannot be
# installed for two architectures at once, so a cross build takes the native
# headers (the same on every architecture) and the target's runtime library
# (libyaml-cpp0.7:arm64).
find_package(yaml-cpp CONFIG QUIET)
if(yaml-cpp_FOUND)
    set(WAVEGEN_YAML yaml-cpp)
elseif(TARGET wavegen_yaml)
    set(WAVEGEN_YAML wavegen_yaml)
else()
    find_path(WAVEGEN_YAML_INCLUDE_DIR yaml-cpp/yaml.h)
    find_library(WAVEGEN_YAML_LIBRARY NAMES yaml-cpp libyaml-cpp.so.0.7)
    if(NOT WAVEGEN_YAML_INCLUDE_DIR OR NOT WAVEGEN_YAML_LIBRARY)
        message(FATAL_ERROR "yaml-cpp not found: wavegen scene reads SCENE.yaml with it "
                            "(scripts/install-deps.sh installs libyaml-cpp-dev)")
    endif()
    add_library(wavegen_yaml INTERFACE)
    target_include_directories(wavegen_yaml SYSTEM INTERFACE ${WAVEGEN_YAML_INCLUDE_DIR})
    target_link_libraries(wavegen_yaml INTERFACE ${WAVEGEN_YAML_LIBRARY})
    set(WAVEGEN_YAML wavegen_yaml)
endif()
