#!/usr/bin/python3
"""The job newsclass does, done the way users would otherwise do it: jieba segmentation (no
unknown-word model) with the same stop words and digit removal, TfidfVectorizer, SelectKBest with
chi2, KNeighborsClassifier with cosine distance and uniform weights. Prints one JSON object with
the seconds of each step, the peak memory and the macro F1.

CLASSIFIER (default knn) replaces the selection and the KNN (K and FEATURES then go unused):
  linearsvc                 LinearSVC (scikit-learn's defaults) over the TF-IDF of all words
  linearsvc-chars           LinearSVC over the sublinear TF-IDF of the character 1-2-grams of the
                            raw text, without segmentation
  linearsvc-words-chars     LinearSVC over the sublinear TF-IDF of all words beside the character
                            1-2-grams' (the two matrices side by side)
  logistic-words-chars      LogisticRegression (C 10, at most 1000 iterations) over the same
  complementnb-words-chars  ComplementNB (scikit-learn's defaults) over the same
  fasttext-chars            fastText supervised (25 epochs, word 2-grams, character 1-2-grams, one
                            thread) over the words joined by spaces; needs python3-fasttext

usage: peer_pipeline.py CORPUS.tsv[.gz] STOPWORDS K FEATURES [CLASSIFIER]"""
import gzip
import json
import os
import resource
import sys
import tempfile
import time

import jieba
from sklearn.feature_extraction.text import TfidfVectorizer
from sklearn.feature_selection import SelectKBest, chi2
from sklearn.metrics import f1_score
from sklearn.neighbors import KNeighborsClassifier

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer_words import word_cutter  # noqa: E402

corpus_path, stopwords_path, k, features = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
peer_classifier = sys.argv[5] if len(sys.argv) > 5 else 'knn'
classifiers = ('knn', 'linearsvc', 'linearsvc-chars', 'linearsvc-words-chars', 'logistic-words-chars',
               'complementnb-words-chars', 'fasttext-chars')
if peer_classifier not in classifiers:
    sys.exit('peer_pipeline.py: unknown classifier %s (one of %s)' % (peer_classifier, ', '.join(classifiers)))
times = {}


def timed(name, fn):
    start = time.perf_counter()
    result = fn()
    times[name] = time.perf_counter() - start
    return result


opener = gzip.open if corpus_path.endswith('.gz') else open
train_text, train_label, test_text, test_label = [], [], [], []
with opener(corpus_path, 'rt', encoding='utf-8') as corpus:
    for line in corpus:
        fields = line.rstrip('\n').split('\t')
        if len(fields) != 4 or fields[0] not in ('train', 'test'):
            continue
        (train_text if fields[0] == 'train' else test_text).append(fields[3])
        (train_label if fields[0] == 'train' else test_label).append(fields[1])

with open(stopwords_path, encoding='utf-8') as f:
    stop_words = set(f.read().split())
if peer_classifier != 'linearsvc-chars':  # the only setting without segmentation
    timed('load lexicon', lambda: jieba.initialize())


tokenize = word_cutter(stop_words)


def char_vectorizer():
    return TfidfVectorizer(analyzer='char', ngram_range=(1, 2), sublinear_tf=True)


def words_chars(words_vectorizer, chars_vectorizer, words, texts, fit):
    """The words' TF-IDF beside the character 1-2-grams' TF-IDF, as one CSR matrix."""
    from scipy.sparse import hstack
    if fit:
        return hstack([words_vectorizer.fit_transform(words), chars_vectorizer.fit_transform(texts)]).tocsr()
    return hstack([words_vectorizer.transform(words), chars_vectorizer.transform(texts)]).tocsr()


def fasttext_predict(train_words, test_words):
    import fasttext
    with tempfile.NamedTemporaryFile('w', encoding='utf-8', suffix='.txt', delete=False) as train_file:
        for words, label in zip(train_words, train_label):
            train_file.write('__label__%s %s\n' % (label, ' '.join(words)))
    try:
        model = fasttext.train_supervised(input=train_file.name, epoch=25, wordNgrams=2, minn=1, maxn=2,
                                          thread=1, verbose=0)
    finally:
        os.unlink(train_file.name)
    return [model.predict(' '.join(words))[0][0][len('__label__'):] for words in test_words]


if peer_classifier == 'linearsvc-chars':
    from sklearn.svm import LinearSVC
    vectorizer = char_vectorizer()
    train_matrix = timed('tf-idf training', lambda: vectorizer.fit_transform(train_text))
    test_matrix = timed('tf-idf testing', lambda: vectorizer.transform(test_text))
    predicted = timed('linearsvc', lambda: LinearSVC().fit(train_matrix, train_label).predict(test_matrix))
elif peer_classifier.endswith('-words-chars'):
    train_words = timed('segment training', lambda: [tokenize(t) for t in train_text])
    test_words = timed('segment testing', lambda: [tokenize(t) for t in test_text])
    words_vectorizer = TfidfVectorizer(analyzer=lambda words: words, sublinear_tf=True)
    chars_vectorizer = char_vectorizer()
    train_matrix = timed('tf-idf training',
                         lambda: words_chars(words_vectorizer, chars_vectorizer, train_words, train_text, True))
    test_matrix = timed('tf-idf testing',
                        lambda: words_chars(words_vectorizer, chars_vectorizer, test_words, test_text, False))
    if peer_classifier == 'linearsvc-words-chars':
        from sklearn.svm import LinearSVC
        classifier, step = LinearSVC(), 'linearsvc'
    elif peer_classifier == 'logistic-words-chars':
        from sklearn.linear_model import LogisticRegression
        classifier, step = LogisticRegression(C=10, max_iter=1000), 'logistic'
    else:
        from sklearn.naive_bayes import ComplementNB
        classifier, step = ComplementNB(), 'complementnb'
    predicted = timed(step, lambda: classifier.fit(train_matrix, train_label).predict(test_matrix))
elif peer_classifier == 'fasttext-chars':
    train_words = timed('segment training', lambda: [tokenize(t) for t in train_text])
    test_words = timed('segment testing', lambda: [tokenize(t) for t in test_text])
    predicted = timed('fasttext', lambda: fasttext_predict(train_words, test_words))
else:
    train_words = timed('segment training', lambda: [tokenize(t) for t in train_text])
    test_words = timed('segment testing', lambda: [tokenize(t) for t in test_text])
    vectorizer = TfidfVectorizer(analyzer=lambda words: words)
    train_matrix = timed('tf-idf training', lambda: vectorizer.fit_transform(train_words))
    if peer_classifier == 'linearsvc':
        from sklearn.svm import LinearSVC
        test_matrix = timed('tf-idf testing', lambda: vectorizer.transform(test_words))
        predicted = timed('linearsvc', lambda: LinearSVC().fit(train_matrix, train_label).predict(test_matrix))
    else:
        selector = SelectKBest(chi2, k=min(features, train_matrix.shape[1]))
        train_selected = timed('chi2 selection', lambda: selector.fit_transform(train_matrix, train_label))
        test_selected = timed('tf-idf testing',
                              lambda: selector.transform(vectorizer.transform(test_words)))
        classifier = KNeighborsClassifier(n_neighbors=k, metric='cosine', weights='uniform', algorithm='brute')
        predicted = timed('knn', lambda: classifier.fit(train_selected, train_label).predict(test_selected))
macro_f1 = timed('evaluate', lambda: f1_score(test_label, predicted, average='macro'))
print(json.dumps({
    'times': times,
    'peak_mb': resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0,
    'macro_f1': macro_f1,
    'train': len(train_text), 'test': len(test_text),
}))
