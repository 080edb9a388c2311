// Every public routine of the module, by subsystem.  Each takes its bound
// arguments in parameter order and returns the Python result.
#pragma once

#include "frame/toolkit.h"

namespace kf {

using A = py::handle;

// sessions/
py::object Chrome_Driver_info(A maximize, A headless);
py::object FireFox_Driver_info(A maximize, A headless, A eager, A mode, A firefox_path, A driver_path);
py::object Edge_Driver_info(A maximize, A headless);
py::object capture_screenshot(A base_path, A screen_number, A service_name, A step_name, A use_webdriver, A driver);
py::object extract_performance_logs_and_append_to_csv(A driver, A file_path, A step_type, A action_type);
py::object set_zoom(A driver, A zoom_level);
py::object move_mouse_to_second_screen();
py::object export_network_logs(A driver, A Service_name, A Screenshots_path, A file_path, A step_type, A action_type, A Base_path, A zoom_level);

// interaction/
py::object clicking_on_element_by_all_option(A driver, A x_paths_input, A text_input_list, A max_retries, A scroll, A timeout);
py::object hovering_by_xpath(A driver, A x_paths_input, A text_input_list, A max_retries, A scroll, A timeout);
py::object page_is_completed(A driver);
py::object Click_ok_popup(A driver);
py::object wait_for_page_to_load(A driver, A loading_xpath, A timeout);
py::object click_element_by_text(A driver, A text, A max_retries, A timeout);
py::object get_shadow_root(A driver, A tag_name);
py::object shadow_find(A shadow_root, A css_selector);
py::object input_data_by_all_option(A driver, A x_paths_input, A text_input_list, A data, A calender_date, A max_attempts, A timeout, A scroll, A input_delay, A shadow_host_tag, A field_type);
py::object enter_field_data(A driver, A field_xpath, A input_xpath, A input_value, A dropdown_xpath, A field_name);

// page_state/
py::object wait_for_element_to_appear(A driver, A x_paths_list, A max_retries, A polling_interval, A consecutive_exists, A scroll, A timeout);
py::object click_and_check_url_change(A driver, A x_paths, A text_inputs, A trial, A timeout, A scroll, A max_attempts);
py::object find_matching_row(A df, A criteria, A match_threshold);
py::object click_checkbox_by_row(A driver, A row_index);
py::object extract_text(A driver, A xpaths, A max_retries, A retry_delay, A waittime);
py::object get_all_xpaths(A driver);
py::object get_element_with_retries(A row, A xpath, A max_retries, A delay);
py::object wait_for_error_to_disappear(A driver, A maxtrial, A polling_interval, A consecutive_not_exists);
py::object check_element_existance(A driver, A xpaths, A maxtrial, A polling_interval, A mode, A min_found);
py::object check_element_disapearing(A driver, A xpaths, A maxtrial, A polling_interval, A consecutive_not_exists, A mode);
py::object check_data_error_retrieving(A driver, A retry_params);
py::object wait_for_loading_elements(A driver, A xpaths, A maxtrial, A polling_interval, A consecutive_not_exists);
py::object dismiss_alerts(A driver);
py::object wait_for_element(A driver, A by, A value, A retries, A delay);
py::object find_error_messages(A data_page, A error_messages);

// workflows/
py::object Navigating_into_service_name_SH(A driver, A Service_name, A loading_xpath);
py::object application_details_formatting(A text);
py::object Getting_Application_Detials(A driver, A Services_category);
py::object Getting_Application_From_Inbox(A driver, A application_number, A tab_name, A environment, A Dashbord_URL);
py::object ZIV_payment(A driver, A application_number);
py::object enter_municipality(A driver, A municipality_xpath, A municipality_name, A Land_use_Input_xpath, A first_option_dropdownlist);
py::object enter_plot_number(A driver, A plot_number_xpath, A plot_number);
py::object enter_district_or_zone(A driver, A districtId_zone_xpath, A District_zone_input, A Land_use_Input_xpath, A first_option_dropdownlist);
py::object enter_land_use(A driver, A land_use_xpath, A Land_use_Input_xpath, A Land_use, A first_option_dropdownlist);
py::object Search_by_plot(A driver, A plot_number, A District_zone_input, A Land_use, A double_click_option);
py::object search_by_owner(A driver, A EID_persona);
py::object Getting_data_from_Owner_search(A driver);
py::object Getting_data_from_plot_search(A driver);
py::object send_post_requests_for_payloads(A df, A url, A headers, A delay);
py::object Skipping_intro_part(A driver, A wait_time);
py::object upload_official_letter(A driver, A upload_button_xpath, A upload_button_text, A file_path, A target_screen);
py::object scrape_application_number(A driver, A enviroment, A max_retries, A retry_delay);
py::object parse_application_details(A data_list);

// text/
py::object Generate_File_name(A Service_name, A trial, A directory);
py::object similar(A a, A b);
py::object is_arabic(A text);
py::object create_vertical_snake_text(A text, A wave_length);
py::object extract_email_data(A email_text);
py::object clean_text(A text, A language);
py::object extract_application_number(A text);
py::object extract_service_name(A html_content);
py::object detect_language(A text);

// mail/
py::object authenticate_gmail();
py::object list_messages(A service, A max_results);
py::object get_message_details(A service, A msg_id);
py::object fetch_emails_to_dataframe(A service, A max_results);

// files/
py::object populate_email_template(A template_text, A data);
py::object read_html_template(A file_path);
py::object save_html_file(A content, A file_path);
py::object create_temp_html_file(A content);
py::object copy_and_rename_file(A input_dir, A output_dir, A text_to_include, A file_extension);
py::object create_folder_in_path(A folderpath);

// steps/
py::object get_step_value(A data_dict, A step_name, A key);
py::object run_steps(A driver, A step_list, A web_app_name, A file_path, A Base_path, A SERVICE_NAME, A Screenshots_path, A application_validation_box, A sleep_time);

}  // namespace kf
