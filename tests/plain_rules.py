"""The text rules written in plain Python: the reference the native routines are
checked against (by the tests) and measured against (by the benchmarks)."""


def py_is_arabic(text):
    for char in text:
        if "\u0600" <= char and char <= "\u06ff":
            return True
    return False


def py_detect_language(text):
    arabic_count = english_count = 0
    for char in text:
        if "\u0600" <= char <= "\u06ff":
            arabic_count += 1
        elif "a" <= char.lower() <= "z":
            english_count += 1
    if arabic_count > english_count:
        return "Arabic"
    if english_count > arabic_count:
        return "English"
    return "Unknown"


def py_snake(text, wave_length=3):
    result = ""
    indentation = 0
    rising = True
    for char in text:
        result += " " * indentation + char + "\n"
        if rising:
            indentation += 1
            if indentation == wave_length:
                rising = False
        else:
            indentation -= 1
            if indentation == 0:
                rising = True
    return result


def py_find_matching_row(df, criteria, match_threshold=0.5):
    df.columns = df.columns.str.lower().str.strip()
    criteria = {key.lower().strip(): value for key, value in criteria.items()}
    for index, row in df.iterrows():
        match_count = 0
        total_criteria = len(criteria)
        for key, value in criteria.items():
            if key in row and row[key] == value:
                match_count += 1
        match_ratio = match_count / total_criteria
        if match_ratio >= match_threshold:
            return index
    return -1
