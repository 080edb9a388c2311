// Every public routine of the module, by subsystem.  Each takes its bound
// arguments in parameter order and returns the Python result.
#pragma once

#include "frame/toolkit.h"

namespace kf {



// sessions/
py::object Chrome_Driver_info(Arg maximize, Arg headless);
py::object FireFox_Driver_info(Arg maximize, Arg headless, Arg eager, Arg mode, Arg firefox_path, Arg driver_path);
py::object Edge_Driver_info(Arg maximize, Arg headless);
py::object capture_screenshot(Arg base_path, Arg screen_number, Arg service_name, Arg step_name, Arg use_webdriver, Arg driver);
py::object extract_performance_logs_and_append_to_csv(Arg driver, Arg file_path, Arg step_type, Arg action_type);
py::object set_zoom(Arg driver, Arg zoom_level);
py::object move_mouse_to_second_screen();
py::object export_network_logs(Arg driver, Arg Service_name, Arg Screenshots_path, Arg file_path, Arg step_type, Arg action_type, Arg Base_path, Arg zoom_level);

// interaction/
py::object clicking_on_element_by_all_option(Arg driver, Arg x_paths_input, Arg text_input_list, Arg max_retries, Arg scroll, Arg timeout);
py::object hovering_by_xpath(Arg driver, Arg x_paths_input, Arg text_input_list, Arg max_retries, Arg scroll, Arg timeout);
py::object page_is_completed(Arg driver);
py::object Click_ok_popup(Arg driver);
py::object wait_for_page_to_load(Arg driver, Arg loading_xpath, Arg timeout);
py::object click_element_by_text(Arg driver, Arg text, Arg max_retries, Arg timeout);
py::object get_shadow_root(Arg driver, Arg tag_name);
py::object shadow_find(Arg shadow_root, Arg css_selector);
py::object input_data_by_all_option(Arg driver, Arg x_paths_input, Arg text_input_list, Arg data, Arg calender_date, Arg max_attempts, Arg timeout, Arg scroll, Arg input_delay, Arg shadow_host_tag, Arg field_type);
py::object enter_field_data(Arg driver, Arg field_xpath, Arg input_xpath, Arg input_value, Arg dropdown_xpath, Arg field_name);

// page_state/
py::object wait_for_element_to_appear(Arg driver, Arg x_paths_list, Arg max_retries, Arg polling_interval, Arg consecutive_exists, Arg scroll, Arg timeout);
py::object click_and_check_url_change(Arg driver, Arg x_paths, Arg text_inputs, Arg trial, Arg timeout, Arg scroll, Arg max_attempts);
py::object find_matching_row(Arg df, Arg criteria, Arg match_threshold);
py::object click_checkbox_by_row(Arg driver, Arg row_index);
py::object extract_text(Arg driver, Arg xpaths, Arg max_retries, Arg retry_delay, Arg waittime);
py::object get_all_xpaths(Arg driver);
py::object get_element_with_retries(Arg row, Arg xpath, Arg max_retries, Arg delay);
py::object wait_for_error_to_disappear(Arg driver, Arg maxtrial, Arg polling_interval, Arg consecutive_not_exists);
py::object check_element_existance(Arg driver, Arg xpaths, Arg maxtrial, Arg polling_interval, Arg mode, Arg min_found);
py::object check_element_disapearing(Arg driver, Arg xpaths, Arg maxtrial, Arg polling_interval, Arg consecutive_not_exists, Arg mode);
py::object check_data_error_retrieving(Arg driver, Arg retry_params);
py::object wait_for_loading_elements(Arg driver, Arg xpaths, Arg maxtrial, Arg polling_interval, Arg consecutive_not_exists);
py::object dismiss_alerts(Arg driver);
py::object wait_for_element(Arg driver, Arg by, Arg value, Arg retries, Arg delay);
py::object find_error_messages(Arg data_page, Arg error_messages);

// workflows/
py::object Navigating_into_service_name_SH(Arg driver, Arg Service_name, Arg loading_xpath);
py::object application_details_formatting(Arg text);
py::object Getting_Application_Detials(Arg driver, Arg Services_category);
py::object Getting_Application_From_Inbox(Arg driver, Arg application_number, Arg tab_name, Arg environment, Arg Dashbord_URL);
py::object ZIV_payment(Arg driver, Arg application_number);
py::object enter_municipality(Arg driver, Arg municipality_xpath, Arg municipality_name, Arg Land_use_Input_xpath, Arg first_option_dropdownlist);
py::object enter_plot_number(Arg driver, Arg plot_number_xpath, Arg plot_number);
py::object enter_district_or_zone(Arg driver, Arg districtId_zone_xpath, Arg District_zone_input, Arg Land_use_Input_xpath, Arg first_option_dropdownlist);
py::object enter_land_use(Arg driver, Arg land_use_xpath, Arg Land_use_Input_xpath, Arg Land_use, Arg first_option_dropdownlist);
py::object Search_by_plot(Arg driver, Arg plot_number, Arg District_zone_input, Arg Land_use, Arg double_click_option);
py::object search_by_owner(Arg driver, Arg EID_persona);
py::object Getting_data_from_Owner_search(Arg driver);
py::object Getting_data_from_plot_search(Arg driver);
py::object send_post_requests_for_payloads(Arg df, Arg url, Arg headers, Arg delay);
py::object Skipping_intro_part(Arg driver, Arg wait_time);
py::object upload_official_letter(Arg driver, Arg upload_button_xpath, Arg upload_button_text, Arg file_path, Arg target_screen);
py::object scrape_application_number(Arg driver, Arg enviroment, Arg max_retries, Arg retry_delay);
py::object parse_application_details(Arg data_list);

// text/
py::object Generate_File_name(Arg Service_name, Arg trial, Arg directory);
py::object similar(Arg a, Arg b);
py::object is_arabic(Arg text);
py::object create_vertical_snake_text(Arg text, Arg wave_length);
py::object extract_email_data(Arg email_text);
py::object clean_text(Arg text, Arg language);
py::object extract_application_number(Arg text);
py::object extract_service_name(Arg html_content);
py::object detect_language(Arg text);

// mail/
py::object authenticate_gmail();
py::object list_messages(Arg service, Arg max_results);
py::object get_message_details(Arg service, Arg msg_id);
py::object fetch_emails_to_dataframe(Arg service, Arg max_results);

// files/
py::object populate_email_template(Arg template_text, Arg data);
py::object read_html_template(Arg file_path);
py::object save_html_file(Arg content, Arg file_path);
py::object create_temp_html_file(Arg content);
py::object copy_and_rename_file(Arg input_dir, Arg output_dir, Arg text_to_include, Arg file_extension);
py::object create_folder_in_path(Arg folderpath);

// steps/
py::object get_step_value(Arg data_dict, Arg step_name, Arg key);
py::object run_steps(Arg driver, Arg step_list, Arg web_app_name, Arg file_path, Arg Base_path, Arg SERVICE_NAME, Arg Screenshots_path, Arg application_validation_box, Arg sleep_time);

}  // namespace kf
