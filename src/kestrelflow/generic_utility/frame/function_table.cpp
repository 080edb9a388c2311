// The module's public functions in binding order, with their parameters and
// defaults, and the module-level data bound between them.
#include "frame/function_type.h"
#include "frame/module_body.h"
#include "frame/routines.h"

namespace kf {
namespace {

py::object zero() { return int_of(0); }

// The Gmail read-only OAuth scope.
py::object gmail_scopes() {
  py::list scopes;
  scopes.append(str_of("https://www.googleapis.com/auth/gmail.readonly"));
  return std::move(scopes);
}

// The binding order: KF_ROUTINE for a public function, KF_DATA for the
// module-level data bound between them.
constexpr Row kRows[] = {
    /*  1 */ KF_ROUTINE(Generate_File_name, R"(Service_name, trial, directory="performance_logs_")",
               "Build a dated CSV file name for a service and trial."),
    /*  2 */ KF_ROUTINE(Chrome_Driver_info, "maximize=False, headless=False",
               "Open a Chrome session with the fixed switches and return its WebDriver."),
    /*  3 */ KF_ROUTINE(FireFox_Driver_info, R"(maximize=False, headless=False, eager=True, mode="auto", firefox_path="C:\Users\automation\AppData\Local\Mozilla Firefox\firefox.exe", driver_path="C:\Users\automation\AppData\Local\GeckoDriver\geckodriver.exe")",
               "Open a Firefox session with the fixed preferences and return its WebDriver."),
    /*  4 */ KF_ROUTINE(Edge_Driver_info, "maximize=False, headless=False",
               "Open an Edge session with the fixed switches; None when it cannot start."),
    /*  5 */ KF_ROUTINE(Navigating_into_service_name_SH, "driver, Service_name, loading_xpath",
               "Open a service from the portal's Services tab."),
    /*  6 */ KF_ROUTINE(capture_screenshot, R"(base_path="Screenshots", screen_number=0, service_name="default_service", step_name="default_step", use_webdriver=False, driver=None)",
               "Save a PNG of the browser viewport or of a screen under base_path/service_name."),
    /*  7 */ KF_ROUTINE(clicking_on_element_by_all_option, "driver, x_paths_input, text_input_list, max_retries=4, scroll=False, timeout=20",
               "Click the first element reachable by the XPaths, then by the exact texts."),
    /*  8 */ KF_ROUTINE(hovering_by_xpath, "driver, x_paths_input, text_input_list, max_retries=4, scroll=False, timeout=20",
               "Hover over the first element visible by the XPaths, then by the exact texts."),
    /*  9 */ KF_ROUTINE(page_is_completed, "driver",
               R"(True when the document's readyState is "complete".)"),
    /* 10 */ KF_ROUTINE(similar, "a, b",
               "Similarity ratio of two sequences."),
    KF_DATA("first_column_match", zero),
    KF_DATA("second_column_match", zero),
    KF_DATA("third_column_match", zero),
    KF_DATA("fourth_column_match", zero),
    KF_DATA("fifth_column_match", zero),
    /* 11 */ KF_ROUTINE(Click_ok_popup, "driver",
               "Accept the open JavaScript alert."),
    /* 12 */ KF_ROUTINE(extract_performance_logs_and_append_to_csv, "driver, file_path, step_type, action_type",
               "Append the page's resource timings to a CSV file."),
    /* 13 */ KF_ROUTINE(wait_for_page_to_load, "driver, loading_xpath, timeout=20",
               R"(Wait until the loading indicator no longer says "Loading".)"),
    /* 14 */ KF_ROUTINE(click_element_by_text, "driver, text, max_retries=4, timeout=20",
               "Click an element by its visible text with exact, span and parent fallbacks."),
    /* 15 */ KF_ROUTINE(get_shadow_root, "driver, tag_name",
               "The open shadow root of the first element with the tag name."),
    /* 16 */ KF_ROUTINE(shadow_find, "shadow_root, css_selector",
               "Find an element inside a shadow root by CSS selector."),
    /* 17 */ KF_ROUTINE(input_data_by_all_option, R"(driver, x_paths_input, text_input_list, data, calender_date, max_attempts=3, timeout=10, scroll=False, input_delay=2, shadow_host_tag=None, field_type="Text_field")",
               "Type data into the field found by the XPaths, then by the exact texts."),
    /* 18 */ KF_ROUTINE(wait_for_element_to_appear, "driver, x_paths_list, max_retries=20, polling_interval=1, consecutive_exists=3, scroll=False, timeout=10",
               "Wait until an element has been seen on consecutive polls."),
    /* 19 */ KF_ROUTINE(click_and_check_url_change, "driver, x_paths, text_inputs, trial, timeout=4, scroll=True, max_attempts=3",
               "Click and confirm that the page URL changed."),
    /* 20 */ KF_ROUTINE(find_matching_row, "df, criteria, match_threshold=0.5",
               "Find the DataFrame row that best matches the criteria."),
    /* 21 */ KF_ROUTINE(click_checkbox_by_row, "driver, row_index",
               "Click the checkbox of a row of the portal's list table."),
    /* 22 */ KF_ROUTINE(extract_text, "driver, xpaths, max_retries=3, retry_delay=1, waittime=3",
               "Text of the first element found by the XPaths, or False."),
    /* 23 */ KF_ROUTINE(get_all_xpaths, "driver",
               "Absolute XPath of every element of the current document."),
    /* 24 */ KF_ROUTINE(is_arabic, "text",
               "True when the text holds an Arabic letter."),
    /* 25 */ KF_ROUTINE(application_details_formatting, "text",
               "Parse the application details panel text into a record."),
    /* 26 */ KF_ROUTINE(Getting_Application_Detials, R"(driver, Services_category="DEVU")",
               "Read the details panel of the opened application."),
    /* 27 */ KF_ROUTINE(Getting_Application_From_Inbox, R"(driver, application_number, tab_name, environment="default", Dashbord_URL="https://devu-test.portal.example/private#dashboard")",
               "Find and open an application from the portal's inbox tabs."),
    /* 28 */ KF_ROUTINE(create_vertical_snake_text, "text, wave_length=3",
               "Lay the text out as a vertical wave."),
    /* 29 */ KF_ROUTINE(ZIV_payment, "driver, application_number",
               "Pay an application's fees in the payment application."),
    /* 30 */ KF_ROUTINE(enter_municipality, "driver, municipality_xpath, municipality_name, Land_use_Input_xpath, first_option_dropdownlist",
               "Enter the municipality of a plot search."),
    /* 31 */ KF_ROUTINE(enter_plot_number, "driver, plot_number_xpath, plot_number",
               "Enter the plot number of a plot search."),
    /* 32 */ KF_ROUTINE(enter_district_or_zone, "driver, districtId_zone_xpath, District_zone_input, Land_use_Input_xpath, first_option_dropdownlist",
               "Enter the district or zone of a plot search."),
    /* 33 */ KF_ROUTINE(enter_land_use, "driver, land_use_xpath, Land_use_Input_xpath, Land_use, first_option_dropdownlist",
               "Enter the land use of a plot search."),
    /* 34 */ KF_ROUTINE(Search_by_plot, "driver, plot_number, District_zone_input, Land_use, double_click_option=False",
               "Run a land search by plot."),
    /* 35 */ KF_ROUTINE(search_by_owner, "driver, EID_persona",
               "Run a land search by the owner's identity number."),
    /* 36 */ KF_ROUTINE(Getting_data_from_Owner_search, "driver",
               "Read the owner search results into a DataFrame."),
    /* 37 */ KF_ROUTINE(get_element_with_retries, "row, xpath, max_retries=3, delay=1",
               "Find a sub-element of a row, with retries."),
    /* 38 */ KF_ROUTINE(Getting_data_from_plot_search, "driver",
               "Read the plot search results into a DataFrame."),
    /* 39 */ KF_ROUTINE(send_post_requests_for_payloads, "df, url, headers, delay=8",
               "Post the stored request payloads of a DataFrame."),
    /* 40 */ KF_ROUTINE(wait_for_error_to_disappear, "driver, maxtrial=20, polling_interval=1, consecutive_not_exists=3",
               "Wait the portal's error banner away, reloading the page."),
    /* 41 */ KF_ROUTINE(check_element_existance, R"(driver, xpaths, maxtrial=20, polling_interval=1, mode="keep", min_found=1)",
               "Confirm that elements are present."),
    /* 42 */ KF_ROUTINE(check_element_disapearing, R"(driver, xpaths, maxtrial=20, polling_interval=1, consecutive_not_exists=3, mode="keep")",
               "Confirm that elements are gone."),
    /* 43 */ KF_ROUTINE(check_data_error_retrieving, "driver, retry_params",
               "Detect the portal's data-retrieval error and retry."),
    /* 44 */ KF_ROUTINE(wait_for_loading_elements, "driver, xpaths, maxtrial=20, polling_interval=1, consecutive_not_exists=3",
               "Wait until the loaders are gone."),
    /* 45 */ KF_ROUTINE(dismiss_alerts, "driver",
               "Dismiss open alerts."),
    /* 46 */ KF_ROUTINE(Skipping_intro_part, "driver, wait_time=0.5",
               "Click through the portal's introduction tour."),
    /* 47 */ KF_ROUTINE(set_zoom, "driver, zoom_level=70",
               "Set the CSS zoom of the page body, in percent."),
    /* 48 */ KF_ROUTINE(wait_for_element, "driver, by, value, retries=3, delay=2",
               "Wait for an element, with retries."),
    /* 49 */ KF_ROUTINE(extract_email_data, "email_text",
               "Parse a bilingual notification e-mail into its record."),
    /* 50 */ KF_ROUTINE(clean_text, "text, language",
               "Clean English or Arabic text."),
    KF_DATA("SCOPES", gmail_scopes),
    /* 51 */ KF_ROUTINE(extract_application_number, "text",
               "The application number found in a text."),
    /* 52 */ KF_ROUTINE(extract_service_name, "html_content",
               "The service name found in an e-mail body."),
    /* 53 */ KF_ROUTINE(authenticate_gmail, "",
               "Authorise against Gmail and return the service."),
    /* 54 */ KF_ROUTINE(list_messages, "service, max_results=5",
               "Identifiers of the newest messages."),
    /* 55 */ KF_ROUTINE(get_message_details, "service, msg_id",
               "Subject, sender, body and time of a message."),
    /* 56 */ KF_ROUTINE(populate_email_template, "template, data",
               "Fill the {{key}} placeholders of a template."),
    /* 57 */ KF_ROUTINE(fetch_emails_to_dataframe, "service, max_results=50",
               "Read messages into a DataFrame."),
    /* 58 */ KF_ROUTINE(read_html_template, "file_path",
               "Read an HTML template."),
    /* 59 */ KF_ROUTINE(save_html_file, "content, file_path",
               "Write an HTML file."),
    /* 60 */ KF_ROUTINE(create_temp_html_file, "content",
               "Write content to a temporary HTML file and return its path."),
    /* 61 */ KF_ROUTINE(copy_and_rename_file, "input_dir, output_dir, text_to_include, file_extension",
               "Copy a matching file under a dated name."),
    /* 62 */ KF_ROUTINE(enter_field_data, R"(driver, field_xpath, input_xpath, input_value, dropdown_xpath, field_name="Field")",
               "Click a field, type into its input and pick the drop-down entry."),
    /* 63 */ KF_ROUTINE(move_mouse_to_second_screen, "",
               "Park the mouse pointer on the second screen."),
    /* 64 */ KF_ROUTINE(upload_official_letter, R"(driver, upload_button_xpath, upload_button_text, file_path, target_screen="first")",
               "Upload a letter through the native file dialog."),
    /* 65 */ KF_ROUTINE(scrape_application_number, "driver, enviroment, max_retries=3, retry_delay=3",
               "Read the application number of the opened application."),
    /* 66 */ KF_ROUTINE(find_error_messages, "data_page, error_messages",
               "The error messages found in a page text."),
    /* 67 */ KF_ROUTINE(create_folder_in_path, "folderpath",
               "Create a folder (and its parents)."),
    /* 68 */ KF_ROUTINE(export_network_logs, "driver, Service_name, Screenshots_path, file_path, step_type, action_type, Base_path, zoom_level=70",
               "Save a step screenshot and append the page's resource timings."),
    /* 69 */ KF_ROUTINE(parse_application_details, "data_list",
               "Parse step values into application details."),
    /* 70 */ KF_ROUTINE(get_step_value, "data_dict, step_name, key",
               "data_dict[step_name][key], or None."),
    /* 71 */ KF_ROUTINE(detect_language, "text",
               R"("English" or "Arabic" by a vote over the letters.)"),
    /* 72 */ KF_ROUTINE(run_steps, "driver, step_list, web_app_name, file_path, Base_path, SERVICE_NAME, Screenshots_path, application_validation_box=None, sleep_time=0.5",
               "Run a list of steps with a screenshot and timings after each."),
};

constexpr size_t count_functions() {
  size_t n = 0;
  for (const Row& row : kRows) n += row.kind != Row::data;
  return n;
}

}  // namespace

void bind_functions(py::dict globals) {
  static_assert(count_functions() == 72, "the table lists 72 functions");
  for (const Row& row : kRows)
    globals[row.name] = row.kind == Row::data ? row.value() : make_function(row);
}

}  // namespace kf
