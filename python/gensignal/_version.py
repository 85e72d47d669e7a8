# The project's version; CMakeLists.txt refuses to configure when they differ.
__version__ = "1.0.0"
