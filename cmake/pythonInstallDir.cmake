# GENSIGNAL_PYTHON_INSTALL_DIR: where `cmake --install` puts the Python
# package, relative to the prefix: lib/pythonX.Y/dist-packages for Debian's
# python3 (so that under /usr/local it is on python3's path as it stands),
# lib/pythonX.Y/site-packages for other builds of Python.
if(DEFINED GENSIGNAL_PYTHON_INSTALL_DIR)
    return()
endif()
# The system interpreter first: its numpy and matplotlib are the package's.
find_program(GENSIGNAL_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(GENSIGNAL_PYTHON NAMES python3)
set(dir "lib/python3/site-packages")
if(GENSIGNAL_PYTHON)
    execute_process(
        COMMAND ${GENSIGNAL_PYTHON} -c
                "import sys, sysconfig; debian = 'deb_system' in sysconfig.get_scheme_names(); print('lib/python%d.%d/%s' % (sys.version_info[0], sys.version_info[1], 'dist-packages' if debian else 'site-packages'))"
        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
    if(status EQUAL 0 AND found)
        set(dir "${found}")
    endif()
endif()
set(GENSIGNAL_PYTHON_INSTALL_DIR "${dir}" CACHE STRING "Python package folder, relative to the install prefix")
