find_package(Poco REQUIRED COMPONENTS Net Foundation)
target_link_libraries(orlik PRIVATE Poco::Net Poco::Foundation)
