# The desktop application: the window library (everything but main) and the
# `tolvane` executable. Included from app/CMakeLists.txt when the GUI is built.
set(TOLVANE_APP_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(tolvane_window STATIC
  ${TOLVANE_APP_DIR}/DialogUnits.cpp
  ${TOLVANE_APP_DIR}/CommandStates.cpp
  ${TOLVANE_APP_DIR}/WindowScanSink.cpp
  ${TOLVANE_APP_DIR}/LoadIDialog.cpp
  ${TOLVANE_APP_DIR}/SvgPicture.cpp
  ${TOLVANE_APP_DIR}/UserGuideWindow.cpp
  ${TOLVANE_APP_DIR}/CAboutDlg.cpp
  ${TOLVANE_APP_DIR}/PreviewController.cpp
  ${TOLVANE_APP_DIR}/ScanJobController.cpp
  ${TOLVANE_APP_DIR}/ConversionJobController.cpp
  ${TOLVANE_APP_DIR}/CQuenbyDlg.cpp
  ${TOLVANE_APP_DIR}/CQuenbyApp.cpp
  ${TOLVANE_APP_DIR}/BenchmarkScan.cpp
  ${TOLVANE_APP_DIR}/app.qrc
)
target_include_directories(tolvane_window PUBLIC ${TOLVANE_APP_DIR} ${CMAKE_SOURCE_DIR}/convert)
target_link_libraries(tolvane_window PUBLIC tolvane_view tolvane_scan Qt6::Widgets Qt6::Svg Qt6::WebEngineWidgets)

add_executable(tolvane ${TOLVANE_APP_DIR}/main.cpp ${TOLVANE_APP_DIR}/DefaultServices.cpp)
target_link_libraries(tolvane PRIVATE tolvane_window)
if(EXISTS ${CMAKE_SOURCE_DIR}/convert/ConversionDriver.cpp)
  target_compile_definitions(tolvane PRIVATE TOLVANE_HAVE_CONVERSION_DRIVER)
  target_link_libraries(tolvane PRIVATE tolvane_convert)
endif()
install(TARGETS tolvane RUNTIME DESTINATION bin)
install(FILES ${TOLVANE_APP_DIR}/tolvane.desktop DESTINATION share/applications)
install(FILES ${TOLVANE_APP_DIR}/resources/tolvane.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${TOLVANE_APP_DIR}/tolvane-mime.xml DESTINATION share/mime/packages RENAME tolvane.xml)
