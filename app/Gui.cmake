# The desktop application: the window library (everything but main) and the
# `tolvane` executable. Included from app/CMakeLists.txt when the GUI is built.
set(TOLVANE_APP_DIR ${CMAKE_CURRENT_LIST_DIR})

# The version of project() goes into the captions (the header app/CMakeLists.txt
# generates) and into the pictures and the product page, which are assembled
# with the resource list in the build folder.
foreach(resource banner.svg about.svg product.html)
  configure_file(${TOLVANE_APP_DIR}/resources/${resource}.in ${CMAKE_CURRENT_BINARY_DIR}/resources/${resource} @ONLY)
endforeach()
configure_file(${TOLVANE_APP_DIR}/app.qrc.in ${CMAKE_CURRENT_BINARY_DIR}/app.qrc @ONLY)

add_library(tolvane_window STATIC
  ${TOLVANE_APP_DIR}/DialogUnits.cpp
  ${TOLVANE_APP_DIR}/CommandStates.cpp
  ${TOLVANE_APP_DIR}/WindowScanSink.cpp
  ${TOLVANE_APP_DIR}/LoadIDialog.cpp
  ${TOLVANE_APP_DIR}/SvgPicture.cpp
  ${TOLVANE_APP_DIR}/UserGuideWindow.cpp
  ${TOLVANE_APP_DIR}/CAboutDlg.cpp
  ${TOLVANE_APP_DIR}/PreviewController.cpp
  ${TOLVANE_APP_DIR}/MailBodyLoader.cpp
  ${TOLVANE_APP_DIR}/ScanJobController.cpp
  ${TOLVANE_APP_DIR}/ConversionJobController.cpp
  ${TOLVANE_APP_DIR}/CQuenbyDlg.cpp
  ${TOLVANE_APP_DIR}/CQuenbyDlgControls.cpp
  ${TOLVANE_APP_DIR}/CQuenbyApp.cpp
  ${TOLVANE_APP_DIR}/BenchmarkScan.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/app.qrc
)
target_include_directories(tolvane_window PUBLIC ${PROJECT_SOURCE_DIR} ${TOLVANE_GENERATED_DIR})
target_link_libraries(tolvane_window PUBLIC tolvane_view tolvane_scan_front tolvane_scan tolvane_convert tolvane_convert_front Qt6::Widgets Qt6::Svg
                      Qt6::WebEngineWidgets)
# The preview reads bodies through the conversion's reader, whose headers bring
# GLib's, which use the word "signals".
set_source_files_properties(${TOLVANE_APP_DIR}/MailBodyLoader.cpp PROPERTIES COMPILE_DEFINITIONS QT_NO_KEYWORDS)

add_executable(tolvane ${TOLVANE_APP_DIR}/main.cpp ${TOLVANE_APP_DIR}/DefaultServices.cpp)
target_link_libraries(tolvane PRIVATE tolvane_window)
if(EXISTS ${CMAKE_SOURCE_DIR}/convert/ConversionDriver.cpp)
  target_compile_definitions(tolvane PRIVATE TOLVANE_HAVE_CONVERSION_DRIVER)
  target_link_libraries(tolvane PRIVATE tolvane_convert)
endif()
# Its install rules (program, desktop entry, file type, icons) are in packaging/.
