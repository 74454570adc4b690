# WinInet's FTP calls on POCO's FTP client session.
orlik_sources(
  ftp.cpp
  ftp_listing.cpp)
find_package(Poco REQUIRED COMPONENTS Net Foundation)
target_link_libraries(orlik PRIVATE Poco::Net Poco::Foundation)
orlik_module_tests()
